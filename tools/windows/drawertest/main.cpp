// drawertest: the drawer test from the command line, run as a POS application would, through
// whatever OPOS CashDrawer Control Object is registered under the ProgID, ours or another
// maker's, by member names only; with --check, the health probe a monitoring job runs instead.
// Exit codes: the drawer test's 0 passed, 1 a step failed, 2 it could not start; the probe's
// are its verdict (CheckCode). The application's thread runs everything here.
//
// The events are found as a client that knows no IID must find them: the
// default source interface of the object's coclass (IProvideClassInfo), or
// else the first connection point the object enumerates. StatusUpdateEvent
// is known by its name in that interface's type information; without any,
// every event that carries one number is taken for it. A Control Object
// without events still gets the drawer steps, watched through DrawerOpened.
//
//   drawertest [DEVICE_NAME]                   (default VX-CDUSB)
//   drawertest --check [DEVICE_NAME] [--json]
#include <windows.h>
#include <objbase.h>

#include "DrawerTest.h"
#include "HealthProbe.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    const bool check = argc > 1 && std::wstring_view(argv[1]) == L"--check";
    bool json = false;
    std::vector<std::wstring> names;
    for (int i = check ? 2 : 1; i < argc; ++i) {
        if (check && std::wstring_view(argv[i]) == L"--json") {
            json = true;
        } else {
            names.emplace_back(argv[i]);
        }
    }
    if (names.size() > 1) {
        std::fprintf(stderr,
                     "usage: drawertest [DEVICE_NAME]\n       drawertest --check [DEVICE_NAME] [--json]\n");
        return 2;
    }
    const std::wstring device = names.empty() ? L"VX-CDUSB" : names[0];
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::fprintf(stderr, "drawertest: COM could not be initialised\n");
        return 2;
    }
    int rc = check ? vtx::drawertest::Check(device, json) : vtx::drawertest::Run(device);
    CoUninitialize();
    return rc;
}
