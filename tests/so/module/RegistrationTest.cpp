// DllRegisterServer and DllUnregisterServer, read back from the registry of
// the test prefix.
#include "Identifiers.h"
#include "RegistryRead.h"
#include "ServerDll.h"

#include "com/Bstr.h"

#include <oleauto.h>

#include <gtest/gtest.h>

#include <olectl.h>

namespace vtx::test {
namespace {

const std::wstring kClassKey = std::wstring(L"CLSID\\") + kServedClsid;
const std::wstring kTypeLibKey = std::wstring(L"TypeLib\\") + kLibId + L"\\1.0";
const wchar_t* const kPlatform = sizeof(void*) == 8 ? L"win64" : L"win32";
constexpr SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

std::wstring ShortPath(const std::wstring& path) {
    wchar_t buffer[MAX_PATH];
    DWORD got = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
    return got > 0 && got < MAX_PATH ? std::wstring(buffer, got) : path;
}

class Registration : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(dll.Unregister(), S_OK);
        ASSERT_FALSE(ClassesKeyExists(kProgId));
        ASSERT_FALSE(ClassesKeyExists(kClassKey));
        ASSERT_FALSE(ClassesKeyExists(kTypeLibKey));
    }
    void TearDown() override { EXPECT_EQ(dll.Unregister(), S_OK); }

    ServerDll dll;
};

TEST_F(Registration, WritesTheClassEntriesWithTheShortPathAndApartmentThreading) {
    ASSERT_EQ(dll.Register(), S_OK);

    EXPECT_EQ(ReadClassesText(kProgId), kProgId);
    EXPECT_EQ(ReadClassesText(std::wstring(kProgId) + L"\\CLSID"), kServedClsid);
    EXPECT_EQ(ReadClassesText(kClassKey), kProgId);
    EXPECT_EQ(ReadClassesText(kClassKey + L"\\ProgID"), kProgId);
    EXPECT_EQ(ReadClassesText(kClassKey + L"\\InprocServer32"), ShortPath(ServerDll::Path()));
    EXPECT_EQ(ReadClassesText(kClassKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");

    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(kProgId, &clsid), S_OK);
    EXPECT_TRUE(IsEqualCLSID(clsid, Guid(kServedClsid)));
    // The type library's coclass is never registered.
    EXPECT_FALSE(ClassesKeyExists(std::wstring(L"CLSID\\") + kCoclassClsid));
}

TEST_F(Registration, RegistersTheTypeLibraryUnderItsOwnLocale) {
    ASSERT_EQ(dll.Register(), S_OK);

    EXPECT_EQ(ReadClassesText(kTypeLibKey + L"\\409\\" + kPlatform), ServerDll::Path());
    Bstr path;
    ASSERT_EQ(QueryPathOfRegTypeLib(Guid(kLibId), 1, 0, 0x0409, path.put()), S_OK);
    EXPECT_EQ(path.view(), ServerDll::Path());
    EXPECT_TRUE(ClassesKeyExists(std::wstring(L"Interface\\") + kDispinterfaceIid));
}

TEST_F(Registration, KeepsAPreExistingProgIdKeyButRewritesItsClassIdentifier) {
    WriteClassesText(kProgId, nullptr, L"Someone else's description");
    WriteClassesText(std::wstring(kProgId) + L"\\CLSID", nullptr, L"{00000000-0000-0000-0000-000000000001}");

    ASSERT_EQ(dll.Register(), S_OK);

    EXPECT_EQ(ReadClassesText(kProgId), L"Someone else's description");
    EXPECT_EQ(ReadClassesText(std::wstring(kProgId) + L"\\CLSID"), kServedClsid);
}

TEST_F(Registration, KeepsAPreExistingProgIdKeyWithoutADefaultValueThatWay) {
    WriteClassesText(kProgId, L"Marker", L"x");

    ASSERT_EQ(dll.Register(), S_OK);

    EXPECT_EQ(ReadClassesText(kProgId), std::nullopt);
    EXPECT_EQ(ReadClassesText(kProgId, L"Marker"), L"x");
}

TEST_F(Registration, RegisteringTwiceRewritesOnlyTheOverwritingGroup) {
    ASSERT_EQ(dll.Register(), S_OK);
    WriteClassesText(kClassKey, nullptr, L"Renamed by the user");
    WriteClassesText(kClassKey + L"\\InprocServer32", nullptr, L"C:\\elsewhere\\old.dll");
    WriteClassesText(kClassKey + L"\\InprocServer32", L"ThreadingModel", L"Both");
    WriteClassesText(kClassKey + L"\\ProgID", nullptr, L"Old.ProgID");
    WriteClassesText(std::wstring(kProgId) + L"\\CLSID", nullptr, L"{00000000-0000-0000-0000-000000000001}");

    ASSERT_EQ(dll.Register(), S_OK);

    EXPECT_EQ(ReadClassesText(kClassKey), L"Renamed by the user");
    EXPECT_EQ(ReadClassesText(kClassKey + L"\\InprocServer32"), ShortPath(ServerDll::Path()));
    EXPECT_EQ(ReadClassesText(kClassKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(ReadClassesText(kClassKey + L"\\ProgID"), kProgId);
    EXPECT_EQ(ReadClassesText(std::wstring(kProgId) + L"\\CLSID"), kServedClsid);
}

TEST_F(Registration, UnregisteringRemovesTheClassAndTheTypeLibraryRegistration) {
    ASSERT_EQ(dll.Register(), S_OK);
    ASSERT_TRUE(ClassesKeyExists(kTypeLibKey + L"\\409"));

    ASSERT_EQ(dll.Unregister(), S_OK);

    EXPECT_FALSE(ClassesKeyExists(kProgId));
    EXPECT_FALSE(ClassesKeyExists(kClassKey));
    // Registered under locale 0x0409: an unregistration under locale 0 would leave this behind.
    EXPECT_FALSE(ClassesKeyExists(kTypeLibKey + L"\\409"));
    EXPECT_FALSE(ClassesKeyExists(kTypeLibKey));
    EXPECT_FALSE(ClassesKeyExists(std::wstring(L"Interface\\") + kDispinterfaceIid));
    Bstr path;
    EXPECT_EQ(QueryPathOfRegTypeLib(Guid(kLibId), 1, 0, 0x0409, path.put()), TYPE_E_LIBNOTREGISTERED);
}

TEST_F(Registration, UnregisteringWithoutATypeLibraryRegistrationStillRemovesTheClass) {
    ASSERT_EQ(dll.Register(), S_OK);
    ASSERT_EQ(UnRegisterTypeLib(Guid(kLibId), 1, 0, 0x0409, kSysKind), S_OK);
    ASSERT_FALSE(ClassesKeyExists(kTypeLibKey));

    EXPECT_EQ(dll.Unregister(), S_OK);

    EXPECT_FALSE(ClassesKeyExists(kProgId));
    EXPECT_FALSE(ClassesKeyExists(kClassKey));
}

TEST_F(Registration, UnregisteringWhatIsNotRegisteredSucceeds) {
    EXPECT_EQ(dll.Unregister(), S_OK);
    EXPECT_EQ(dll.Unregister(), S_OK);
}

TEST_F(Registration, RegisteredServerIsCreatedByCom) {
    ASSERT_EQ(dll.Register(), S_OK);
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(kProgId, &clsid), S_OK);
    IDispatch* object = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE); // COM loaded the DLL this test holds
    object->Release();
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}

} // namespace
} // namespace vtx::test
