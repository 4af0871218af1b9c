// The module's exports, its class factory and when it may unload.
#include "Identifiers.h"
#include "ServerDll.h"

#include "com/ComPtr.h"

#include <oaidl.h>

#include <gtest/gtest.h>

namespace vtx::test {
namespace {

class ClassObject : public ::testing::Test {
protected:
    ComPtr<IClassFactory> Factory() {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(dll.GetClassObject(Guid(kServedClsid), IID_IClassFactory, factory.put_void()), S_OK);
        return factory;
    }

    ServerDll dll;
};

TEST_F(ClassObject, ExportsTheFourEntryPointsByNameWithOrdinalsOneToFour) {
    const char* names[] = {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer",
                           "DllUnregisterServer"};
    for (WORD ordinal = 1; ordinal <= 4; ++ordinal) {
        FARPROC byName = GetProcAddress(dll.Module(), names[ordinal - 1]);
        FARPROC byOrdinal = GetProcAddress(dll.Module(), MAKEINTRESOURCEA(ordinal));
        ASSERT_NE(byName, nullptr) << names[ordinal - 1];
        EXPECT_EQ(byName, byOrdinal) << names[ordinal - 1] << " is not ordinal " << ordinal;
    }
    EXPECT_EQ(GetProcAddress(dll.Module(), MAKEINTRESOURCEA(5)), nullptr);
}

TEST_F(ClassObject, ServesOnlyItsOwnClassIdentifier) {
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(dll.GetClassObject(Guid(kCoclassClsid), IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(dll.GetClassObject(CLSID_NULL, IID_IUnknown, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);

    ComPtr<IUnknown> unknown;
    ASSERT_EQ(dll.GetClassObject(Guid(kServedClsid), IID_IUnknown, unknown.put_void()), S_OK);
    ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    ComPtr<IUnknown> factoryUnknown;
    ASSERT_EQ(factory->QueryInterface(IID_IUnknown, factoryUnknown.put_void()), S_OK);
    EXPECT_EQ(factoryUnknown.get(), unknown.get());

    out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(dll.GetClassObject(Guid(kServedClsid), IID_IDispatch, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST_F(ClassObject, ObjectAnswersOneDispatchPointerForItsIdentities) {
    ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, unknown.put_void()), S_OK);

    ComPtr<IDispatch> dispatch;
    ComPtr<IUnknown> answered;
    ComPtr<IUnknown> again;
    ASSERT_EQ(unknown->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
    ASSERT_EQ(unknown->QueryInterface(Guid(kAnsweredIid), answered.put_void()), S_OK);
    ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, again.put_void()), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(dispatch.get()), unknown.get());
    EXPECT_EQ(answered.get(), unknown.get());
    EXPECT_EQ(again.get(), unknown.get());

    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(unknown->QueryInterface(Guid(kDispinterfaceIid), &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    // No type information at run time.
    UINT count = 99;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 0u);
    ITypeInfo* info = nullptr;
    EXPECT_EQ(dispatch->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), E_NOTIMPL);
    EXPECT_EQ(dispatch->GetTypeInfo(1, LOCALE_USER_DEFAULT, &info), E_INVALIDARG);
}

TEST_F(ClassObject, RefusesAggregation) {
    ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    ComPtr<IUnknown> outer;
    ASSERT_EQ(factory->QueryInterface(IID_IUnknown, outer.put_void()), S_OK);
    void* out = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(factory->CreateInstance(outer.get(), IID_IUnknown, &out), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(out, nullptr);
}

TEST_F(ClassObject, CanUnloadOnlyWithoutObjectsLocksOrHeldFactory) {
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);

    ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE) << "a client holds the factory";

    ComPtr<IDispatch> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.put_void()), S_OK);
    ASSERT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE) << "an object and a lock";

    object.reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE) << "a server lock";

    factory = Factory();
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.put_void()), S_OK);
    ASSERT_EQ(factory->LockServer(FALSE), S_OK);
    factory.reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE) << "an object";

    object.reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}

TEST_F(ClassObject, UnbalancedUnlockDoesNotHideALiveObject) {
    ComPtr<IClassFactory> factory = Factory();
    ASSERT_TRUE(factory);
    ComPtr<IDispatch> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.put_void()), S_OK);
    factory->LockServer(FALSE);
    factory->LockServer(FALSE);
    factory.reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_FALSE);
    object.reset();
    EXPECT_EQ(dll.CanUnloadNow(), S_OK);
}

} // namespace
} // namespace vtx::test
