#pragma once
// Control identifiers of the utility's windows; test programs that drive a
// running utility find the controls by them. None is IDOK or IDCANCEL, so
// Enter and Escape do not stand in for a button.
namespace vtx::setup {

enum MainControl : int {
    kLabel3 = 101,
    kComboPort,
    kLabel4,
    kCmbLdn,
    kCmdAdd,
    kCmdDel,
    kFrame1,
    kCmdOpen,
    kCmdClaim,
    kCommand1Enable,
    kCmdOpenDrawer,
    kCmdCheckHealth,
    kCmdRelease,
    kCmdClose,
    kLabel2Status,
    kLblStatus,
    kLabel1ResultCode,
    kLblResultCode,
    kCmdExit,
    kLblPolicy, // only while a policy sets a device value
};

enum NewLdnControl : int {
    kNewLdnD = 201,
    kNewLdnLabel2,
    kNewLdnLabel1,
    kNewLdnText1,
    kNewLdnCommand1,
    kNewLdnCommand2,
};

inline constexpr wchar_t kNewLdnCaption[] = L"Add LDN";

} // namespace vtx::setup
