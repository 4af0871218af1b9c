// Writing and deleting a COM server's keys under HKEY_CLASSES_ROOT, and its type library's
// registration. Any thread; no state.
#include "com/SelfRegistration.h"

#include "com/ComPtr.h"
#include "win32/RegistryValues.h"
#include "win32/UniqueRegKey.h"

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

std::optional<TypeLibKey> KeyOf(ITypeLib* library) {
    TLIBATTR* attr = nullptr;
    if (FAILED(library->GetLibAttr(&attr)) || attr == nullptr) {
        return std::nullopt;
    }
    const TypeLibKey key{attr->guid, attr->lcid, attr->syskind};
    library->ReleaseTLibAttr(attr);
    return key;
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

bool IsRegistered(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
    const std::wstring guid = GuidText(libid);
    const wchar_t* platform = PlatformName(syskind);
    if (platform == nullptr || guid.empty()) {
        return true; // cannot tell: let the system decide
    }
    wchar_t path[128];
    std::swprintf(path, 128, L"TypeLib\\%ls\\%x.%x\\%lx\\%ls", guid.c_str(), major, minor,
                  static_cast<unsigned long>(lcid), platform);
    UniqueRegKey found;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, found.put()) != ERROR_FILE_NOT_FOUND;
}

} // namespace

std::wstring GuidText(REFGUID guid) {
    wchar_t text[40];
    return StringFromGUID2(guid, text, 40) > 0 ? std::wstring(text) : std::wstring();
}

bool WriteClassesEntries(const std::vector<ClassesEntry>& entries) {
    for (const ClassesEntry& entry : entries) {
        UniqueRegKey key;
        DWORD disposition = 0;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, entry.path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                            key.put(), &disposition) != ERROR_SUCCESS) {
            return false;
        }
        if (entry.keepExisting && disposition == REG_OPENED_EXISTING_KEY) {
            continue;
        }
        if (!WriteRegistryText(key.get(), entry.name, entry.data)) {
            return false;
        }
    }
    return true;
}

bool DeleteClassesTrees(const std::vector<std::wstring>& paths) {
    bool allGone = true;
    for (const std::wstring& path : paths) {
        const LSTATUS rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
        allGone = allGone && (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND);
    }
    return allGone;
}

std::optional<TypeLibKey> EmbeddedTypeLibKey(const std::wstring& modulePath) {
    ComPtr<ITypeLib> library = LoadEmbedded(modulePath);
    return library ? KeyOf(library.get()) : std::nullopt;
}

bool RegisterEmbeddedTypeLib(const std::wstring& modulePath, const GUID* expectedLibId) {
    ComPtr<ITypeLib> library = LoadEmbedded(modulePath);
    if (!library) {
        return false;
    }
    if (expectedLibId != nullptr) {
        const std::optional<TypeLibKey> key = KeyOf(library.get());
        if (!key || !IsEqualGUID(key->guid, *expectedLibId)) {
            return false;
        }
    }
    std::wstring path = modulePath; // MinGW declares the path without const
    return SUCCEEDED(RegisterTypeLib(library.get(), path.data(), nullptr));
}

bool RemoveTypeLibRegistration(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
    if (!IsRegistered(libid, major, minor, lcid, syskind)) {
        return true;
    }
    const HRESULT hr = UnRegisterTypeLib(libid, major, minor, lcid, syskind);
    return SUCCEEDED(hr) || hr == TYPE_E_LIBNOTREGISTERED;
}

} // namespace vtx
