// The library's four exports and its load-time initialisation.
#include <windows.h>
#include <olectl.h>

#include "module/ClassFactory.h"
#include "com/EntryGuard.h"
#include "module/ClassRegistration.h"
#include "com/ModuleLock.h"
#include "module/VTXCashDrawerApp.h"
#include "trace/TraceLog.h"
#include "win32/ModulePath.h"

using namespace vtx;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        DisableThreadLibraryCalls(instance);
        return TheApp().InitInstance(instance);
    }
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr) {
        // The process is ending and its trace writers are gone: the lines they
        // had not written yet are the last ones before the end.
        WriteTraceLogsAtProcessExit();
    }
    return TRUE;
}

static HRESULT DllGetClassObjectBody(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    for (auto it = ModuleFactoriesBegin(); it != ModuleFactoriesEnd(); ++it) {
        CCashDrawerFactory* factory = *it;
        if (factory->IsAvailable() && IsEqualCLSID(factory->ClassId(), rclsid)) {
            return factory->QueryInterface(riid, ppv);
        }
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return GuardedCall([&] { return DllGetClassObjectBody(rclsid, riid, ppv); });
}

STDAPI DllCanUnloadNow() {
    if (ModuleLockCount() != 0) {
        return S_FALSE;
    }
    for (auto it = ModuleFactoriesBegin(); it != ModuleFactoriesEnd(); ++it) {
        if ((*it)->IsHeldByClient()) {
            return S_FALSE;
        }
    }
    return S_OK;
}

static HRESULT DllRegisterServerBody() {
    const std::wstring path = ModuleFileName(TheApp().Instance());
    if (!RegisterTypeLibrary(path)) {
        return SELFREG_E_TYPELIB;
    }
    const std::wstring serverPath = ShortPathOf(path);
    HRESULT result = S_OK;
    for (auto it = ModuleFactoriesBegin(); it != ModuleFactoriesEnd(); ++it) {
        if (!RegisterClassEntries(**it, serverPath)) {
            result = SELFREG_E_CLASS;
        }
    }
    return result;
}

STDAPI DllRegisterServer() {
    return GuardedCall(DllRegisterServerBody, SELFREG_E_CLASS);
}

static HRESULT DllUnregisterServerBody() {
    if (!UnregisterTypeLibrary(ModuleFileName(TheApp().Instance()))) {
        return SELFREG_E_TYPELIB;
    }
    HRESULT result = S_OK;
    for (auto it = ModuleFactoriesBegin(); it != ModuleFactoriesEnd(); ++it) {
        if (!UnregisterClassEntries(**it)) {
            result = SELFREG_E_CLASS;
        }
    }
    return result;
}

STDAPI DllUnregisterServer() {
    return GuardedCall(DllUnregisterServerBody, SELFREG_E_CLASS);
}
