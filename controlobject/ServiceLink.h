#pragma once
// The opened service object, reached through its IDispatch with its members
// bound by name when it was opened. Used on the application's thread only.
#include <windows.h>
#include <oaidl.h>

#include "com/ComPtr.h"
#include "com/Variant.h" // the argument builders

#include <initializer_list>
#include <string>

namespace vtx::co {

enum class ServiceMember {
    OpenService,
    Claim,
    Release,
    Close,
    CheckHealth,
    DirectIO,
    RetrieveStatistics,
    GetPropertyNumber,
    SetPropertyNumber,
    GetPropertyString,
    OpenDrawer,
    WaitForDrawerClose,
    ResetStatistics,
    UpdateStatistics,
    CompareFirmwareVersion,
    UpdateFirmware,
    Count
};

class CServiceLink {
public:
    CServiceLink() = default;
    explicit CServiceLink(ComPtr<IDispatch> service);

    explicit operator bool() const { return static_cast<bool>(m_service); }
    ComPtr<IDispatch> Detach();
    // Whether the service answered the member's name.
    bool Has(ServiceMember member) const { return m_ids[static_cast<int>(member)] != DISPID_UNKNOWN; }

    // Calls a member with its arguments in call order. A member the service
    // lacks gives DISP_E_MEMBERNOTFOUND.
    HRESULT Call(ServiceMember member, std::initializer_list<VARIANT> args, VARIANT* result);
    // A member whose answer is a long; false when the call failed.
    bool CallLong(ServiceMember member, std::initializer_list<VARIANT> args, long& out);
    bool CallVoid(ServiceMember member, std::initializer_list<VARIANT> args);
    bool GetNumber(long pidx, long& out);
    bool GetText(long pidx, BSTR& out);

private:
    ComPtr<IDispatch> m_service;
    DISPID m_ids[static_cast<int>(ServiceMember::Count)] = {};
};

} // namespace vtx::co
