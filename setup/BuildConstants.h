#pragma once
// The one place where the two builds of the utility differ. Each executable
// compiles its entry point with VTX_SETUP_USB_BUILD or VTX_SETUP_SERIAL_BUILD;
// everything else takes the profile as an argument, so tests can run both.
#include <string_view>

namespace vtx::setup {

struct BuildProfile {
    std::wstring_view deviceName;
    std::wstring_view caption;
    // Title of the message boxes that name none (the application's own).
    std::wstring_view appTitle;
    short comPorts;
    short lptPorts;
};

inline constexpr BuildProfile kUsbBuild{L"VX-CDUSB", L"Veltrix Works USB Cash Drawer OPOS", L"cdsetupusb", 20,
                                        0};
inline constexpr BuildProfile kSerialBuild{L"VX-CD", L"Veltrix Works Cash Drawer OPOS", L"cdsetup", 20, 5};

#if defined(VTX_SETUP_SERIAL_BUILD)
inline constexpr const BuildProfile& kThisBuild = kSerialBuild;
#elif defined(VTX_SETUP_USB_BUILD)
inline constexpr const BuildProfile& kThisBuild = kUsbBuild;
#endif

} // namespace vtx::setup
