// Early-bound clients of the registered Control Object, end to end against the
// virtual drawer: a compiled one calling the dual interface's vtable through
// the header widl makes of our IDL, and one calling through the type
// library's description of that vtable (ITypeInfo::Invoke), as VB6 does.
#include "EndToEndFixture.h"

#include "OPOSCashDrawer.h"
#include "com/Bstr.h"

#include <algorithm>
#include <vector>

namespace vtx::test {
namespace {

constexpr DWORD kDrawerLimitMs = 20000;

TEST_F(EndToEnd, SessionThroughTheDualInterfacesVtable) {
    ComPtr<ICashDrawerControl> cd;
    ASSERT_EQ(control->QueryInterface(__uuidof(ICashDrawerControl), cd.put_void()), S_OK);
    Bstr name(device.Name());
    long rc = -1;
    ASSERT_EQ(cd->Open(name.get(), &rc), S_OK);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(cd->ClaimDevice(1000, &rc), S_OK);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(cd->put_DeviceEnabled(VARIANT_TRUE), S_OK);
    EXPECT_EQ(cd->get_ResultCode(&rc), S_OK);
    EXPECT_EQ(rc, 0);

    EXPECT_EQ(cd->OpenDrawer(&rc), S_OK);
    EXPECT_EQ(rc, 0);
    VARIANT_BOOL opened = VARIANT_FALSE;
    EXPECT_TRUE(
        PumpUntil([&] { return SUCCEEDED(cd->get_DrawerOpened(&opened)) && opened; }, kDrawerLimitMs));
    EXPECT_EQ(cd->WaitForDrawerClose(60000, 1000, 100, 500, &rc), S_OK);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(cd->get_DrawerOpened(&opened), S_OK);
    EXPECT_EQ(opened, VARIANT_FALSE);
    EXPECT_EQ(cd->ReleaseDevice(&rc), S_OK);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(cd->Close(&rc), S_OK);
    EXPECT_EQ(rc, 0);
    EXPECT_FALSE(drawer.IsOpen());
}

TEST_F(EndToEnd, SessionThroughTheTypeLibrarysDescriptionOfTheVtable) {
    ComPtr<ITypeInfo> dispatchView, vtableView;
    HREFTYPE vtable = 0;
    ASSERT_EQ(control->GetTypeInfo(0, LOCALE_USER_DEFAULT, dispatchView.put()), S_OK);
    ASSERT_EQ(dispatchView->GetRefTypeOfImplType(-1, &vtable), S_OK); // the dual's interface half
    ASSERT_EQ(dispatchView->GetRefTypeInfo(vtable, vtableView.put()), S_OK);
    ComPtr<ICashDrawerControl> cd;
    ASSERT_EQ(control->QueryInterface(__uuidof(ICashDrawerControl), cd.put_void()), S_OK);
    // The member's answer as a number (booleans 0 or 1).
    auto call = [&](const wchar_t* member, WORD flags, std::vector<VARIANT> args = {}) {
        LPOLESTR n = const_cast<LPOLESTR>(member);
        MEMBERID id = DISPID_UNKNOWN;
        EXPECT_EQ(vtableView->GetIDsOfNames(&n, 1, &id), S_OK) << member;
        std::reverse(args.begin(), args.end());
        DISPID put = DISPID_PROPERTYPUT;
        const bool isPut = flags == DISPATCH_PROPERTYPUT;
        DISPPARAMS params{args.data(), isPut ? &put : nullptr, static_cast<UINT>(args.size()),
                          isPut ? 1u : 0u};
        Variant result;
        EXCEPINFO excep{};
        UINT argErr = 0;
        EXPECT_EQ(vtableView->Invoke(cd.get(), id, flags, &params, result.get(), &excep, &argErr), S_OK)
            << member;
        return V_VT(result.get()) == VT_BOOL ? (V_BOOL(result.get()) ? 1L : 0L) : V_I4(result.get());
    };
    Arg name(Text(device.Name().c_str()));
    ASSERT_EQ(call(L"Open", DISPATCH_METHOD, {name.v()}), 0);
    EXPECT_EQ(call(L"ClaimDevice", DISPATCH_METHOD, {Long(1000)}), 0);
    call(L"DeviceEnabled", DISPATCH_PROPERTYPUT, {Bool(true)});
    EXPECT_EQ(call(L"ResultCode", DISPATCH_PROPERTYGET), 0);
    EXPECT_EQ(call(L"OpenDrawer", DISPATCH_METHOD), 0);
    EXPECT_TRUE(PumpUntil([&] { return call(L"DrawerOpened", DISPATCH_PROPERTYGET) == 1; }, kDrawerLimitMs));
    EXPECT_EQ(call(L"CheckHealth", DISPATCH_METHOD, {Long(1)}), 106);
    EXPECT_TRUE(PumpUntil([&] { return call(L"DrawerOpened", DISPATCH_PROPERTYGET) == 0; }, kDrawerLimitMs));
    EXPECT_EQ(call(L"ReleaseDevice", DISPATCH_METHOD), 0);
    EXPECT_EQ(call(L"Close", DISPATCH_METHOD), 0);
    EXPECT_EQ(call(L"State", DISPATCH_PROPERTYGET), 1);
}

} // namespace
} // namespace vtx::test
