// Writing and deleting the class entries of self-registration under HKEY_CLASSES_ROOT, and the
// registration of the embedded type library.
#include "module/ClassRegistration.h"

#include "com/SelfRegistration.h"
#include "module/ClassFactory.h"
#include "module/ModuleIds.h"

namespace vtx {

bool RegisterClassEntries(const CCashDrawerFactory& factory, const std::wstring& serverPath) {
    const std::wstring progId = factory.ProgId();
    const std::wstring clsid = GuidText(factory.ClassId());
    if (clsid.empty()) {
        return false;
    }
    const std::wstring classKey = L"CLSID\\" + clsid;

    // Entries a user may have changed are written only when missing; the
    // rest always. A failed write stops here and leaves what was written.
    if (!WriteClassesEntries({{progId, nullptr, progId, true},
                              {classKey, nullptr, progId, true},
                              {progId + L"\\CLSID", nullptr, clsid},
                              {classKey + L"\\ProgID", nullptr, progId},
                              {classKey + L"\\InProcServer32", nullptr, serverPath}})) {
        return false;
    }
    if (!WriteClassesEntries(
            {{classKey + L"\\InProcServer32", L"ThreadingModel", factory.ThreadingModel()}})) {
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
    return DeleteClassesTrees({factory.ProgId(), L"CLSID\\" + clsid});
}

bool RegisterTypeLibrary(const std::wstring& modulePath) {
    return RegisterEmbeddedTypeLib(modulePath, &LIBID_VTXCashDrawer);
}

bool UnregisterTypeLibrary(const std::wstring& modulePath) {
    // Registration files the library under its own locale (0x0409), not
    // under locale 0: unregister exactly what was registered.
    const std::optional<TypeLibKey> key = EmbeddedTypeLibKey(modulePath);
    return key && RemoveTypeLibRegistration(LIBID_VTXCashDrawer, kTypeLibMajor, kTypeLibMinor, key->lcid,
                                            key->syskind);
}

} // namespace vtx
