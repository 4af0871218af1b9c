#pragma once
#include <windows.h>

namespace vtx {

// The module's application object: one global, created when the library is
// loaded; its initialisation makes the class factories available.
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
