#pragma once
// The service object's COM server DLL, loaded into the test process the way
// COM loads it, with its four exports.
#include <windows.h>
#include <unknwn.h>

#include <string>

namespace vtx::test {

class ServerDll {
public:
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using NoArgFn = HRESULT(STDAPICALLTYPE*)();

    ServerDll();
    ~ServerDll();
    ServerDll(const ServerDll&) = delete;
    ServerDll& operator=(const ServerDll&) = delete;

    static std::wstring Path();
    HMODULE Module() const { return m_module; }

    HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** ppv) {
        return m_getClassObject(clsid, iid, ppv);
    }
    HRESULT CanUnloadNow() { return m_canUnloadNow(); }
    HRESULT Register() { return m_register(); }
    HRESULT Unregister() { return m_unregister(); }

private:
    HMODULE m_module = nullptr;
    GetClassObjectFn m_getClassObject = nullptr;
    NoArgFn m_canUnloadNow = nullptr;
    NoArgFn m_register = nullptr;
    NoArgFn m_unregister = nullptr;
};

} // namespace vtx::test
