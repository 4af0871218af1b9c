#include "ServerDll.h"

#include "WinePath.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace vtx::test {

namespace {
template <class Fn> Fn Export(HMODULE module, const char* name) {
    auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    if (fn == nullptr) {
        throw std::runtime_error(std::string("VTXCashDrawer.dll does not export ") + name);
    }
    return fn;
}
} // namespace

std::wstring ServerDll::Path() {
    return DosPathOf(VTX_SERVICE_DLL);
}

ServerDll::ServerDll() : m_module(LoadLibraryW(Path().c_str())) {
    if (m_module == nullptr) {
        throw std::runtime_error("cannot load VTXCashDrawer.dll, error " + std::to_string(GetLastError()));
    }
    m_getClassObject = Export<GetClassObjectFn>(m_module, "DllGetClassObject");
    m_canUnloadNow = Export<NoArgFn>(m_module, "DllCanUnloadNow");
    m_register = Export<NoArgFn>(m_module, "DllRegisterServer");
    m_unregister = Export<NoArgFn>(m_module, "DllUnregisterServer");
}

ServerDll::~ServerDll() {
    FreeLibrary(m_module);
}

} // namespace vtx::test
