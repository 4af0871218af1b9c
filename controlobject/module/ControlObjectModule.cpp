// Exports of the Control Object's library: class object, unloading and
// self-registration under the ProgID "OPOS.CashDrawer".
#include <windows.h>
#include <olectl.h>

#include "com/EntryGuard.h"

#include "ControlFactory.h"
#include "ControlObjectIds.h"
#include "ObjectCount.h"
#include "win32/ModulePath.h"
#include "win32/UniqueRegKey.h"

#include <string>

using namespace vtx;
using namespace vtx::co;

namespace {

HINSTANCE g_instance = nullptr;

std::wstring ClassKey() {
    wchar_t clsid[40];
    StringFromGUID2(CLSID_CashDrawerControl, clsid, 40);
    return std::wstring(L"CLSID\\") + clsid;
}

bool SetValue(const std::wstring& path, const wchar_t* name, const std::wstring& text) {
    UniqueRegKey key;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes) ==
           ERROR_SUCCESS;
}

bool DeleteTree(const std::wstring& path) {
    LSTATUS rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool Unregister() {
    const bool progIdGone = DeleteTree(kProgId);
    const bool classGone = DeleteTree(ClassKey());
    return progIdGone && classGone;
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
    wchar_t clsid[40];
    if (path.empty() || StringFromGUID2(CLSID_CashDrawerControl, clsid, 40) == 0) {
        return SELFREG_E_CLASS;
    }
    const std::wstring classKey = ClassKey();
    const bool written = SetValue(kProgId, nullptr, kDescription) &&
                         SetValue(std::wstring(kProgId) + L"\\CLSID", nullptr, clsid) &&
                         SetValue(classKey, nullptr, kDescription) &&
                         SetValue(classKey + L"\\ProgID", nullptr, kProgId) &&
                         SetValue(classKey + L"\\InprocServer32", nullptr, path) &&
                         SetValue(classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    if (!written) {
        // Half an entry would send COM to a class it cannot load properly.
        Unregister();
        return SELFREG_E_CLASS;
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
