// Writing and deleting the class entries of self-registration under HKEY_CLASSES_ROOT.
#include "module/ClassRegistration.h"

#include "module/ClassFactory.h"
#include "win32/RegistryValues.h"
#include "win32/UniqueRegKey.h"

namespace vtx {

namespace {

// Sets the key's default value, creating the key; with keepExisting, a key
// that is already there is left exactly as it is.
bool SetDefault(const std::wstring& path, const std::wstring& text, bool keepExisting) {
    UniqueRegKey key;
    DWORD disposition = 0;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                        &disposition) != ERROR_SUCCESS) {
        return false;
    }
    if (keepExisting && disposition == REG_OPENED_EXISTING_KEY) {
        return true;
    }
    return WriteRegistryText(key.get(), nullptr, text);
}

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40];
    int chars = StringFromGUID2(guid, text, 40);
    return chars > 0 ? std::wstring(text) : std::wstring();
}

bool DeleteTree(const std::wstring& path) {
    LSTATUS rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

bool SetThreadingModel(const CCashDrawerFactory& factory) {
    std::wstring clsid = GuidText(factory.ClassId());
    if (clsid.empty()) {
        return false;
    }
    UniqueRegKey classKey;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, (L"CLSID\\" + clsid).c_str(), 0, KEY_READ | KEY_WRITE,
                      classKey.put()) != ERROR_SUCCESS) {
        return false;
    }
    UniqueRegKey server;
    if (RegOpenKeyExW(classKey.get(), L"InprocServer32", 0, KEY_WRITE, server.put()) != ERROR_SUCCESS) {
        return false;
    }
    return WriteRegistryText(server.get(), L"ThreadingModel", factory.ThreadingModel());
}

} // namespace

bool RegisterClassEntries(const CCashDrawerFactory& factory, const std::wstring& serverPath) {
    const std::wstring progId = factory.ProgId();
    const std::wstring clsid = GuidText(factory.ClassId());
    if (clsid.empty()) {
        return false;
    }
    const std::wstring classKey = L"CLSID\\" + clsid;

    // Entries a user may have changed are written only when missing; the
    // rest always. A failed write stops here and leaves what was written.
    const bool written = SetDefault(progId, progId, true) && SetDefault(classKey, progId, true) &&
                         SetDefault(progId + L"\\CLSID", clsid, false) &&
                         SetDefault(classKey + L"\\ProgID", progId, false) &&
                         SetDefault(classKey + L"\\InProcServer32", serverPath, false);
    if (!written) {
        return false;
    }
    if (!SetThreadingModel(factory)) {
        // Without its threading model COM would load the server into the wrong apartment.
        UnregisterClassEntries(factory);
        return false;
    }
    return true;
}

bool UnregisterClassEntries(const CCashDrawerFactory& factory) {
    const std::wstring clsid = GuidText(factory.ClassId());
    if (clsid.empty()) {
        return false;
    }
    // Both deletions are attempted, whatever the first one gave.
    const bool progIdGone = DeleteTree(factory.ProgId());
    const bool classGone = DeleteTree(L"CLSID\\" + clsid);
    return progIdGone && classGone;
}

} // namespace vtx
