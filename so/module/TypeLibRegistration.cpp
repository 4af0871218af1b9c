// Registering and unregistering the embedded type library, under the locale and
// platform the library itself states.
#include "module/TypeLibRegistration.h"

#include "com/ComPtr.h"
#include "module/ModuleIds.h"
#include "win32/UniqueRegKey.h"

#include <oleauto.h>

#include <cwchar>

namespace vtx {

namespace {

ComPtr<ITypeLib> LoadEmbedded(const std::wstring& modulePath) {
    ComPtr<ITypeLib> library;
    if (modulePath.empty() || FAILED(LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, library.put()))) {
        return {};
    }
    return library;
}

// What registration keys the library under, besides its identifier.
struct LibraryKey {
    GUID guid;
    LCID lcid;
    SYSKIND syskind;
};

bool ReadAttributes(ITypeLib* library, LibraryKey& out) {
    TLIBATTR* attr = nullptr;
    if (FAILED(library->GetLibAttr(&attr)) || attr == nullptr) {
        return false;
    }
    out = {attr->guid, attr->lcid, attr->syskind};
    library->ReleaseTLibAttr(attr);
    return true;
}

const wchar_t* PlatformName(SYSKIND syskind) {
    switch (syskind) {
    case SYS_WIN16:
        return L"win16";
    case SYS_WIN32:
        return L"win32";
    case SYS_WIN64:
        return L"win64";
    default:
        return nullptr;
    }
}

// Whether TypeLib\{libid}\<major>.<minor>\<lcid>\<platform> exists.
bool IsRegistered(const LibraryKey& key) {
    wchar_t libid[40];
    const wchar_t* platform = PlatformName(key.syskind);
    if (platform == nullptr || StringFromGUID2(LIBID_VTXCashDrawer, libid, 40) == 0) {
        return true; // cannot tell: let the system decide
    }
    wchar_t path[128];
    std::swprintf(path, 128, L"TypeLib\\%ls\\%x.%x\\%lx\\%ls", libid, kTypeLibMajor, kTypeLibMinor,
                  static_cast<unsigned long>(key.lcid), platform);
    UniqueRegKey found;
    LSTATUS rc = RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, found.put());
    return rc != ERROR_FILE_NOT_FOUND;
}

} // namespace

bool RegisterTypeLibrary(const std::wstring& modulePath) {
    ComPtr<ITypeLib> library = LoadEmbedded(modulePath);
    LibraryKey key{};
    if (!library || !ReadAttributes(library.get(), key) || !IsEqualGUID(key.guid, LIBID_VTXCashDrawer)) {
        return false;
    }
    // MinGW declares the path without const.
    std::wstring path = modulePath;
    return SUCCEEDED(RegisterTypeLib(library.get(), path.data(), nullptr));
}

bool UnregisterTypeLibrary(const std::wstring& modulePath) {
    ComPtr<ITypeLib> library = LoadEmbedded(modulePath);
    LibraryKey key{};
    if (!library || !ReadAttributes(library.get(), key)) {
        return false;
    }
    // Registration files the library under its own locale (0x0409), not
    // under locale 0: unregister exactly what was registered.
    if (!IsRegistered(key)) {
        return true;
    }
    HRESULT hr = UnRegisterTypeLib(LIBID_VTXCashDrawer, kTypeLibMajor, kTypeLibMinor, key.lcid, key.syskind);
    return SUCCEEDED(hr) || hr == TYPE_E_LIBNOTREGISTERED;
}

} // namespace vtx
