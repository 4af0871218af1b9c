// The Control Object's DLL: its exports, class object and self-registration.
#include "ControlObjectIds.h"
#include "WinePath.h"
#include "com/ComPtr.h"

#include <ocidl.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>

namespace vtx::test {
namespace {

std::optional<std::wstring> ReadClasses(const std::wstring& key, const wchar_t* name = nullptr) {
    wchar_t text[1024];
    DWORD bytes = sizeof(text);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &bytes) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(text);
}

class ControlDll : public ::testing::Test {
protected:
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using NoArgFn = HRESULT(STDAPICALLTYPE*)();

    void SetUp() override {
        ASSERT_NE(module, nullptr) << "cannot load " << std::string(VTX_CONTROL_DLL);
        getClassObject = reinterpret_cast<GetClassObjectFn>(
            reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
        canUnloadNow =
            reinterpret_cast<NoArgFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
        registerServer =
            reinterpret_cast<NoArgFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllRegisterServer")));
        unregisterServer =
            reinterpret_cast<NoArgFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllUnregisterServer")));
        ASSERT_TRUE(getClassObject && canUnloadNow && registerServer && unregisterServer);
    }
    void TearDown() override {
        if (unregisterServer) {
            unregisterServer();
        }
    }
    ~ControlDll() override { FreeLibrary(module); }

    const std::wstring path = DosPathOf(VTX_CONTROL_DLL);
    HMODULE module = LoadLibraryW(path.c_str());
    GetClassObjectFn getClassObject = nullptr;
    NoArgFn canUnloadNow = nullptr;
    NoArgFn registerServer = nullptr;
    NoArgFn unregisterServer = nullptr;
};

TEST_F(ControlDll, ExportsTheFourEntryPointsWithOrdinals) {
    const char* names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                           "DllUnregisterServer"};
    for (WORD ordinal = 1; ordinal <= 4; ++ordinal) {
        EXPECT_EQ(GetProcAddress(module, names[ordinal - 1]),
                  GetProcAddress(module, MAKEINTRESOURCEA(ordinal)))
            << names[ordinal - 1];
    }
}

TEST_F(ControlDll, CreatesControlObjectsAndUnloadsOnlyWhenNoneIsLeft) {
    void* none = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(getClassObject(IID_IDispatch, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);

    EXPECT_EQ(canUnloadNow(), S_OK);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(co::CLSID_CashDrawerControl, IID_IClassFactory, factory.put_void()), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    ComPtr<IDispatch> control;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, control.put_void()), S_OK);
    ComPtr<IConnectionPointContainer> container;
    EXPECT_EQ(control->QueryInterface(IID_IConnectionPointContainer, container.put_void()), S_OK);
    factory.reset();
    container.reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    control.reset();
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(ControlDll, RegistersItsProgIdAndApartmentThreadedClass) {
    ASSERT_EQ(registerServer(), S_OK);
    wchar_t clsid[40];
    StringFromGUID2(co::CLSID_CashDrawerControl, clsid, 40);
    const std::wstring classKey = std::wstring(L"CLSID\\") + clsid;
    EXPECT_EQ(ReadClasses(L"OPOS.CashDrawer\\CLSID"), clsid);
    EXPECT_EQ(ReadClasses(classKey + L"\\ProgID"), L"OPOS.CashDrawer");
    EXPECT_EQ(ReadClasses(classKey + L"\\InprocServer32"), path);
    EXPECT_EQ(ReadClasses(classKey + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    // With its type library: the dual interface and the events, for early binding.
    wchar_t libid[40], dual[40], events[40];
    StringFromGUID2(co::LIBID_CashDrawerControl, libid, 40);
    StringFromGUID2(co::IID_ICashDrawerControl, dual, 40);
    StringFromGUID2(co::DIID_CashDrawerControlEvents, events, 40);
    const std::wstring library =
        std::wstring(L"TypeLib\\") + libid + (sizeof(void*) == 8 ? L"\\1.0\\0\\win64" : L"\\1.0\\0\\win32");
    EXPECT_EQ(ReadClasses(classKey + L"\\TypeLib"), libid);
    EXPECT_EQ(ReadClasses(library), path);
    EXPECT_EQ(ReadClasses(std::wstring(L"Interface\\") + dual + L"\\TypeLib"), libid);
    EXPECT_EQ(ReadClasses(std::wstring(L"Interface\\") + events), L"CashDrawerControlEvents");

    // COM creates it from the ProgID alone.
    CLSID fromProgId{};
    ASSERT_EQ(CLSIDFromProgID(L"OPOS.CashDrawer", &fromProgId), S_OK);
    ComPtr<IDispatch> control;
    EXPECT_EQ(CoCreateInstance(fromProgId, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, control.put_void()),
              S_OK);
    control.reset();

    ASSERT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(ReadClasses(L"OPOS.CashDrawer\\CLSID"), std::nullopt);
    EXPECT_EQ(ReadClasses(classKey + L"\\InprocServer32"), std::nullopt);
    EXPECT_EQ(ReadClasses(library), std::nullopt);
    EXPECT_EQ(ReadClasses(std::wstring(L"Interface\\") + dual + L"\\TypeLib"), std::nullopt);
    EXPECT_EQ(unregisterServer(), S_OK);
}

} // namespace
} // namespace vtx::test
