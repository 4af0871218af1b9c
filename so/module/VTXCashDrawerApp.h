#pragma once
// The module's application object: one global, created when the library is
// loaded; its initialisation, run by DllMain on process attach, makes the class
// factories available.
#include <windows.h>

namespace vtx {

class CVTXCashDrawerApp {
public:
    CVTXCashDrawerApp() = default;
    CVTXCashDrawerApp(const CVTXCashDrawerApp&) = delete;
    CVTXCashDrawerApp& operator=(const CVTXCashDrawerApp&) = delete;

    BOOL InitInstance(HINSTANCE instance);
    HINSTANCE Instance() const { return m_hInstance; }

private:
    HINSTANCE m_hInstance = nullptr;
};

CVTXCashDrawerApp& TheApp();

} // namespace vtx
