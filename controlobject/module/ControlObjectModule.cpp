// Exports of the Control Object's library: class object, unloading and
// self-registration under the ProgID "OPOS.CashDrawer" with its type library.
// Called by COM and regsvr32 on any thread; registration touches only the
// registry.
#include <windows.h>
#include <olectl.h>

#include "com/ComPtr.h"
#include "com/EntryGuard.h"

#include "ControlFactory.h"
#include "ControlObjectIds.h"
#include "com/ModuleLock.h"
#include "win32/ModulePath.h"
#include "win32/RegistryValues.h"
#include "win32/UniqueRegKey.h"

#include <oleauto.h>

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
    return WriteRegistryText(key.get(), name, text);
}

bool DeleteTree(const std::wstring& path) {
    LSTATUS rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

#ifdef _WIN64
constexpr SYSKIND kPlatform = SYS_WIN64;
constexpr wchar_t kPlatformName[] = L"win64";
#else
constexpr SYSKIND kPlatform = SYS_WIN32;
constexpr wchar_t kPlatformName[] = L"win32";
#endif

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// Registers the library embedded in this module (TYPELIB 1): the TypeLib key
// and the Interface keys of the dual interface and the events.
bool RegisterTypeLibrary(const std::wstring& path) {
    ComPtr<ITypeLib> library;
    if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put()))) {
        return false;
    }
    std::wstring copy = path; // MinGW declares the path without const
    return SUCCEEDED(RegisterTypeLib(library.get(), copy.data(), nullptr));
}

// This platform's registration of the library gone; one never made counts as
// removed (UnRegisterTypeLib fails then).
bool UnregisterTypeLibrary() {
    const std::wstring platformKey = L"TypeLib\\" + GuidText(LIBID_CashDrawerControl) + L"\\" +
                                     std::to_wstring(kTypeLibMajor) + L"." + std::to_wstring(kTypeLibMinor) +
                                     L"\\0\\" + kPlatformName;
    UniqueRegKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, platformKey.c_str(), 0, KEY_READ, key.put()) ==
        ERROR_FILE_NOT_FOUND) {
        return true;
    }
    HRESULT hr =
        UnRegisterTypeLib(LIBID_CashDrawerControl, kTypeLibMajor, kTypeLibMinor, LANG_NEUTRAL, kPlatform);
    return SUCCEEDED(hr) || hr == TYPE_E_LIBNOTREGISTERED;
}

bool Unregister() {
    const bool libraryGone = UnregisterTypeLibrary();
    const bool progIdGone = DeleteTree(kProgId);
    const bool classGone = DeleteTree(ClassKey());
    return libraryGone && progIdGone && classGone;
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
                         SetValue(classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
                         SetValue(classKey + L"\\TypeLib", nullptr, GuidText(LIBID_CashDrawerControl));
    if (!written) {
        // Half an entry would send COM to a class it cannot load properly.
        Unregister();
        return SELFREG_E_CLASS;
    }
    if (!RegisterTypeLibrary(path)) {
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
