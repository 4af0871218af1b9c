// The setup and test utility: one window for the build's cash drawer device.
#include "BuildConstants.h"
#include "automation/DispatchControlObject.h"
#include "ui/MainWindow.h"

#include <windows.h>
#include <objbase.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    using namespace vtx::setup;
    // The Control Object runs on this thread and may create windows on it.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 1;
    }
    int rc = 1;
    {
        MainWindow window(instance, kThisBuild,
                          [] { return DispatchControlObject::Create(kControlObjectProgId); });
        if (window.Create()) {
            rc = window.Run();
        }
    }
    CoUninitialize();
    return rc;
}
