// Keeps a Wine session warm for the tests: started detached (stdio on
// /dev/null) before any test, it brings up the processes Wine starts on first
// use (the desktop, COM's services), so they never inherit a test's output
// pipes, which would make CTest wait for them. Then it sits idle until the
// harness ends it by PID.
//
//   winekeepalive.exe READY_FILE   (created once the session is warm)
#include <windows.h>
#include <objbase.h>

int wmain(int argc, wchar_t** argv) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 1;
    }
    // A window of any kind makes Wine start its desktop process.
    HWND window =
        CreateWindowExW(0, L"STATIC", L"keepalive", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    // An out-of-process class lookup starts the COM services.
    CLSID clsid;
    CLSIDFromProgID(L"Shell.Application", &clsid);
    IUnknown* unknown = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&unknown)))) {
        unknown->Release();
    }
    if (argc > 1) {
        HANDLE ready = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (ready != INVALID_HANDLE_VALUE) {
            CloseHandle(ready);
        }
    }
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        DispatchMessageW(&msg);
    }
    if (window != nullptr) {
        DestroyWindow(window);
    }
    CoUninitialize();
    return 0;
}
