// Exports of the Control Object's library: class object, unloading and
// self-registration under the ProgID "OPOS.CashDrawer" with its type library.
// Called by COM and regsvr32 on any thread; registration touches only the
// registry.
#include <windows.h>
#include <olectl.h>

#include "com/EntryGuard.h"
#include "com/SelfRegistration.h"

#include "ControlFactory.h"
#include "ControlObjectIds.h"
#include "com/ModuleLock.h"
#include "win32/ModulePath.h"

#include <string>

using namespace vtx;
using namespace vtx::co;

namespace {

HINSTANCE g_instance = nullptr;

std::wstring ClassKey() {
    return L"CLSID\\" + GuidText(CLSID_CashDrawerControl);
}

#ifdef _WIN64
constexpr SYSKIND kPlatform = SYS_WIN64;
#else
constexpr SYSKIND kPlatform = SYS_WIN32;
#endif

bool Unregister() {
    // This platform's registration of the library; one never made counts as removed.
    const bool libraryGone = RemoveTypeLibRegistration(LIBID_CashDrawerControl, kTypeLibMajor, kTypeLibMinor,
                                                       LANG_NEUTRAL, kPlatform);
    const bool keysGone = DeleteClassesTrees({kProgId, ClassKey()});
    return libraryGone && keysGone;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_instance = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

static HRESULT DllGetClassObjectBody(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (ppv == nullptr) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, CLSID_CashDrawerControl)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return ControlFactory().QueryInterface(riid, ppv);
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return GuardedCall([&] { return DllGetClassObjectBody(rclsid, riid, ppv); });
}

STDAPI DllCanUnloadNow() {
    return ModuleLockCount() == 0 && !ControlFactory().IsHeldByClient() ? S_OK : S_FALSE;
}

static HRESULT DllRegisterServerBody() {
    const std::wstring path = ModuleFileName(g_instance);
    const std::wstring clsid = GuidText(CLSID_CashDrawerControl);
    if (path.empty() || clsid.empty()) {
        return SELFREG_E_CLASS;
    }
    const std::wstring classKey = ClassKey();
    const bool written = WriteClassesEntries({
        {kProgId, nullptr, kDescription},
        {std::wstring(kProgId) + L"\\CLSID", nullptr, clsid},
        {classKey, nullptr, kDescription},
        {classKey + L"\\ProgID", nullptr, kProgId},
        {classKey + L"\\InprocServer32", nullptr, path},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {classKey + L"\\TypeLib", nullptr, GuidText(LIBID_CashDrawerControl)},
    });
    if (!written) {
        // Half an entry would send COM to a class it cannot load properly.
        Unregister();
        return SELFREG_E_CLASS;
    }
    // The TypeLib key and the Interface keys of the dual interface and the events.
    if (!RegisterEmbeddedTypeLib(path, nullptr)) {
        Unregister();
        return SELFREG_E_TYPELIB;
    }
    return S_OK;
}

STDAPI DllRegisterServer() {
    return GuardedCall(DllRegisterServerBody, SELFREG_E_CLASS);
}

static HRESULT DllUnregisterServerBody() {
    return Unregister() ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
    return GuardedCall(DllUnregisterServerBody, SELFREG_E_CLASS);
}
