// The Control Object's dispatch interface as Automation clients call it and its type library tells.
#include "ControlFixture.h"
#include "ControlMembers.h"
#include "ServiceObject.h"

#include <set>
#include <string>
#include <tuple>

namespace vtx::test {
namespace {

using ControlDispatch = ControlTest;

// Compiled clients hold these numbers: none may change. Written out here once.
TEST_F(ControlDispatch, IdentifiersCompiledClientsHoldAreFixed) {
    ComPtr<IDispatch> service = NewServiceObject();
    const struct {
        IDispatch* object;
        const wchar_t* name;
        DISPID id;
    } members[] = {
        {control.get(), L"CheckHealthText", 13},
        {control.get(), L"FreezeEvents", 16},
        {control.get(), L"DeviceEnabled", 17},
        {control.get(), L"ResultCode", 22},
        {control.get(), L"ResultCodeExtended", 23},
        {control.get(), L"State", 24},
        {control.get(), L"CheckHealth", 31},
        {control.get(), L"DirectIO", 32},
        {control.get(), L"Close", 35},
        {control.get(), L"claim", 36},
        {control.get(), L"Open", 37},
        {control.get(), L"ReleaseDevice", 38},
        {control.get(), L"DrawerOpened", 51},
        {control.get(), L"OpenDrawer", 60},
        {control.get(), L"WaitForDrawerClose", 61},
        {control.get(), L"RetrieveStatistics", 62},
        {control.get(), L"BinaryConversion", 1},
        {control.get(), L"CapPowerReporting", 2},
        {control.get(), L"PowerNotify", 3},
        {control.get(), L"PowerState", 4},
        {control.get(), L"CapStatisticsReporting", 5},
        {control.get(), L"CapUpdateStatistics", 6},
        {control.get(), L"CapCompareFirmwareVersion", 7},
        {control.get(), L"CapUpdateFirmware", 8},
        {control.get(), L"ControlObjectDescription", 11},
        {control.get(), L"ControlObjectVersion", 12},
        {control.get(), L"Claimed", 14},
        {control.get(), L"DeviceDescription", 15},
        {control.get(), L"DeviceName", 18},
        {control.get(), L"OpenResult", 19},
        {control.get(), L"ServiceObjectDescription", 20},
        {control.get(), L"ServiceObjectVersion", 21},
        {control.get(), L"ClaimDevice", 33},
        {control.get(), L"ResetStatistics", 34},
        {control.get(), L"UpdateStatistics", 39},
        {control.get(), L"CompareFirmwareVersion", 40},
        {control.get(), L"UpdateFirmware", 41},
        {control.get(), L"CapStatus", 50},
        {control.get(), L"CapStatusMultiDrawerDetect", 52},
        {service.get(), L"CheckHealth", 1},
        {service.get(), L"Claim", 2},
        {service.get(), L"Close", 3},
        {service.get(), L"COFreezeEvents", 4},
        {service.get(), L"CompareFirmwareVersion", 5},
        {service.get(), L"DirectIO", 6},
        {service.get(), L"OpenService", 7},
        {service.get(), L"Release", 8},
        {service.get(), L"ResetStatistics", 9},
        {service.get(), L"RetrieveStatistics", 10},
        {service.get(), L"UpdateFirmware", 11},
        {service.get(), L"UpdateStatistics", 12},
        {service.get(), L"GetPropertyNumber", 13},
        {service.get(), L"SetPropertyNumber", 14},
        {service.get(), L"GetPropertyString", 15},
        {service.get(), L"SetPropertyString", 16},
        {service.get(), L"OpenDrawer", 17},
        {service.get(), L"WaitForDrawerClose", 18},
    };
    for (const auto& [object, name, expected] : members) {
        LPOLESTR n = const_cast<LPOLESTR>(name);
        DISPID id = DISPID_UNKNOWN;
        EXPECT_EQ(object->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id), S_OK) << name;
        EXPECT_EQ(id, expected) << name;
    }
    EXPECT_EQ(co::event_dispid::StatusUpdateEvent, 5);
    EXPECT_EQ(co::event_dispid::DirectIOEvent, 2);
    const std::pair<const wchar_t*, GUID> guids[] = {
        {L"{A9B892A3-3202-4897-B03D-87D592FD725F}", co::CLSID_CashDrawerControl},
        {L"{EEEEC9CE-47A6-400F-96D4-D5622538D98B}", co::DIID_CashDrawerControlEvents},
        {L"{51D76B0B-CAF8-4D49-B2D6-67A5EB096BEB}", co::IID_ICashDrawerControl},
        {L"{054F8432-3CA3-4188-A11C-7D59D06BBF4F}", co::LIBID_CashDrawerControl},
    };
    for (const auto& [text, guid] : guids) {
        GUID literal{};
        ASSERT_EQ(CLSIDFromString(text, &literal), S_OK) << text;
        EXPECT_TRUE(IsEqualGUID(literal, guid)) << text;
    }
}

TEST_F(ControlDispatch, UnknownNamesAndParameterNamesAreRefused) {
    LPOLESTR unknown = const_cast<LPOLESTR>(L"Frobnicate");
    DISPID id = 0;
    EXPECT_EQ(control->GetIDsOfNames(IID_NULL, &unknown, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    LPOLESTR withParameter[] = {const_cast<LPOLESTR>(L"Open"), const_cast<LPOLESTR>(L"DeviceName")};
    DISPID ids[2] = {0, 0};
    EXPECT_EQ(control->GetIDsOfNames(IID_NULL, withParameter, 2, LOCALE_USER_DEFAULT, ids),
              DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 37);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);

    UINT count = 9;
    EXPECT_EQ(control->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
}

// The type library (as the DLL embeds it) declares exactly the dispatch
// table's members: names, DISPIDs, kinds and argument counts; and the events.
TEST_F(ControlDispatch, TypeLibraryAgreesWithTheDispatchTableMemberByMember) {
    ComPtr<IProvideClassInfo2> provider;
    ASSERT_EQ(control->QueryInterface(IID_IProvideClassInfo2, provider.put_void()), S_OK);
    GUID source{};
    ASSERT_EQ(provider->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
    EXPECT_TRUE(IsEqualGUID(source, co::DIID_CashDrawerControlEvents));
    ComPtr<ITypeInfo> coclass, dual, fromObject, events;
    ComPtr<ITypeLib> library;
    UINT index = 0;
    ASSERT_EQ(provider->GetClassInfo(coclass.put()), S_OK);
    ASSERT_EQ(coclass->GetContainingTypeLib(library.put(), &index), S_OK);
    ASSERT_EQ(library->GetTypeInfoOfGuid(co::IID_ICashDrawerControl, dual.put()), S_OK);
    ASSERT_EQ(control->GetTypeInfo(0, 0, fromObject.put()), S_OK);
    EXPECT_EQ(fromObject.get(), dual.get());
    ASSERT_EQ(library->GetTypeInfoOfGuid(source, events.put()), S_OK);

    using Shape = std::tuple<DISPID, int, int>; // DISPID, invoke kind, arguments
    std::set<Shape> fromTable, fromLibrary;
    for (const co::ControlMember& m : co::ControlMembers()) {
        LPOLESTR name = const_cast<LPOLESTR>(m.name);
        MEMBERID id = DISPID_UNKNOWN;
        EXPECT_EQ(dual->GetIDsOfNames(&name, 1, &id), S_OK) << m.name;
        EXPECT_EQ(id, m.id) << m.name;
        const bool property = m.kind == co::MemberKind::Property;
        fromTable.insert({m.id, property ? INVOKE_PROPERTYGET : INVOKE_FUNC, static_cast<int>(m.argCount)});
        if (m.writable) {
            fromTable.insert({m.id, INVOKE_PROPERTYPUT, 1});
        }
    }
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(dual->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    EXPECT_NE(attr->wTypeFlags & TYPEFLAG_FDUAL, 0);
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        ASSERT_EQ(dual->GetFuncDesc(i, &f), S_OK);
        if ((f->memid & 0x60000000) == 0) { // IUnknown's and IDispatch's own aside
            fromLibrary.insert({f->memid, f->invkind, f->cParams});
        }
        dual->ReleaseFuncDesc(f);
    }
    dual->ReleaseTypeAttr(attr);
    EXPECT_EQ(fromLibrary, fromTable);

    const std::pair<const wchar_t*, DISPID> eventIds[] = {
        {L"StatusUpdateEvent", co::event_dispid::StatusUpdateEvent},
        {L"DirectIOEvent", co::event_dispid::DirectIOEvent}};
    for (const auto& [name, expected] : eventIds) {
        LPOLESTR n = const_cast<LPOLESTR>(name);
        MEMBERID id = DISPID_UNKNOWN;
        EXPECT_EQ(events->GetIDsOfNames(&n, 1, &id), S_OK) << name;
        EXPECT_EQ(id, expected) << name;
    }
}

TEST_F(ControlDispatch, ArgumentsAreConvertedAsAutomationDoes) {
    ASSERT_EQ(Open(device.Name()), 0);
    script->calls.clear();
    // The setup utility passes Claim's time-out as a 16-bit integer.
    VARIANT shortZero;
    VariantInit(&shortZero);
    V_VT(&shortZero) = VT_I2;
    V_I2(&shortZero) = 0;
    EXPECT_EQ(Call(co_dispid::Claim, {shortZero}), 0);
    EXPECT_EQ(Put(co_dispid::DeviceEnabled, Long(1)), S_OK);
    Arg level(Text(L"2"));
    EXPECT_EQ(Call(co_dispid::CheckHealth, {level.v()}), 106);
    EXPECT_EQ(script->calls[0], L"Claim(0)");
    EXPECT_EQ(script->calls[1], L"SetPropertyNumber(3,1)");
    EXPECT_EQ(script->calls[3], L"CheckHealth(2)");
}

TEST_F(ControlDispatch, MalformedCallsFailAsCallsAndNeverReachTheService) {
    ASSERT_EQ(Open(device.Name()), 0);
    script->calls.clear();

    EXPECT_EQ(InvokeRaw(control.get(), co_dispid::Claim, {}).hr, DISP_E_BADPARAMCOUNT);
    Arg word(Text(L"soon"));
    InvokeResult mismatch = InvokeRaw(control.get(), co_dispid::Claim, {word.v()});
    EXPECT_EQ(mismatch.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(mismatch.argErr, 0u);
    InvokeResult badRef = InvokeRaw(control.get(), co_dispid::DirectIO, {Long(1), word.v(), Long(3)});
    EXPECT_EQ(badRef.hr, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(badRef.argErr, 1u); // the second argument, counted from the last
    EXPECT_EQ(InvokeRaw(control.get(), 999, {}).hr, DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Put(co_dispid::ResultCode, Long(0)), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(InvokeRaw(control.get(), co_dispid::ResultCode, {Long(1)}, DISPATCH_PROPERTYGET).hr,
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(InvokeRaw(control.get(), co_dispid::OpenDrawer, {}, DISPATCH_PROPERTYPUT).hr,
              DISP_E_MEMBERNOTFOUND);

    VARIANT timeout = Long(0);
    DISPID named = 0;
    DISPPARAMS withNames{&timeout, &named, 1, 1};
    EXPECT_EQ(control->Invoke(co_dispid::Claim, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &withNames,
                              nullptr, nullptr, nullptr),
              DISP_E_NONAMEDARGS);
    EXPECT_TRUE(script->calls.empty());
}

// A VARIANT of type `vt` holding `number`.
VARIANT Number(VARTYPE vt, double number) {
    VARIANT v = Long(0);
    V_VT(&v) = VT_R8;
    V_R8(&v) = number;
    EXPECT_EQ(VariantChangeType(&v, &v, 0, vt), S_OK) << vt;
    return v;
}

VARIANT Of(VARTYPE vt) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = vt;
    return v;
}

// How a by-reference argument reaches Invoke: as a reference to the
// caller's VARIANT (VBScript), as a reference to the value itself (typed
// variables of compiled clients), as a null reference, or as a value (JScript).
enum class Pass { Variant, Typed, NullVariant, NullTyped, Value };

VARIANT Refer(VARIANT& held, Pass how) {
    VARIANT r;
    VariantInit(&r);
    bool variant = how == Pass::Variant || how == Pass::NullVariant;
    V_VT(&r) = VT_BYREF | (variant ? VARTYPE{VT_VARIANT} : V_VT(&held));
    if (how == Pass::Variant) {
        V_VARIANTREF(&r) = &held;
    } else if (how == Pass::Typed) {
        // A DECIMAL fills the whole VARIANT; every other value starts the union.
        V_BYREF(&r) = V_VT(&held) == VT_DECIMAL ? static_cast<void*>(&V_DECIMAL(&held)) : &V_UI1(&held);
    }
    return how == Pass::Value ? held : r;
}

TEST_F(ControlDispatch, ReferenceArgumentsOfAnyNumberOrTextAreConvertedAndWrittenBack) {
    ASSERT_EQ(Open(device.Name()), 0);
    struct Case {
        const char* what;
        VARIANT before;
        Pass pass;
        HRESULT hr;
        const wchar_t* serviceSaw; // null: the call never reached the service
        VARIANT after;
        long command = 7; // the fake writes back twice the command
    };
    const Pass V = Pass::Variant, T = Pass::Typed;
    // DirectIO's `long*` (the other argument a typed "in").
    Case numbers[] = {
        {"VBScript's 16-bit zero", Number(VT_I2, 0), V, S_OK, L"0", Long(14)},
        {"empty", Of(VT_EMPTY), V, S_OK, L"0", Long(14)},
        {"I1", Number(VT_I1, -3), V, S_OK, L"-3", Long(14)},
        {"UI1", Number(VT_UI1, 200), V, S_OK, L"200", Long(14)},
        {"UI2", Number(VT_UI2, 60000), V, S_OK, L"60000", Long(14)},
        {"I4", Number(VT_I4, 5), V, S_OK, L"5", Long(14)},
        {"UI4", Number(VT_UI4, 7), V, S_OK, L"7", Long(14)},
        {"INT", Number(VT_INT, -8), V, S_OK, L"-8", Long(14)},
        {"UINT", Number(VT_UINT, 9), V, S_OK, L"9", Long(14)},
        {"I8", Number(VT_I8, -10), V, S_OK, L"-10", Long(14)},
        {"UI8", Number(VT_UI8, 11), V, S_OK, L"11", Long(14)},
        {"R4", Number(VT_R4, 12), V, S_OK, L"12", Long(14)},
        {"R8", Number(VT_R8, -13), V, S_OK, L"-13", Long(14)},
        {"CY", Number(VT_CY, 14), V, S_OK, L"14", Long(14)},
        {"DECIMAL", Number(VT_DECIMAL, 15), V, S_OK, L"15", Long(14)},
        {"BOOL", Number(VT_BOOL, 1), V, S_OK, L"-1", Long(14)},
        {"a long", Long(1), T, S_OK, L"1", Long(14)},
        {"a typed 16-bit integer keeps its type", Number(VT_I2, 1), T, S_OK, L"1", Number(VT_I2, 14)},
        {"a typed double keeps its type", Number(VT_R8, 1), T, S_OK, L"1", Number(VT_R8, 14)},
        {"a typed DECIMAL keeps its type", Number(VT_DECIMAL, 1), T, S_OK, L"1", Number(VT_DECIMAL, 14)},
        // 400 does not fit a byte: the call was made, the variable keeps its value.
        {"a typed byte too small for the result", Number(VT_UI1, 5), T, DISP_E_OVERFLOW, L"5",
         Number(VT_UI1, 5), 200},
        {"a number too large for a long", Number(VT_R8, 1e12), V, DISP_E_OVERFLOW, nullptr,
         Number(VT_R8, 1e12)},
        {"text", Text(L"5"), V, DISP_E_TYPEMISMATCH, nullptr, Text(L"5")},
        {"text as a value: its result dropped", Text(L"12"), Pass::Value, S_OK, L"12", Text(L"12")},
        {"null", Of(VT_NULL), V, DISP_E_TYPEMISMATCH, nullptr, Of(VT_NULL)},
        {"a null VARIANT reference", Long(1), Pass::NullVariant, E_POINTER, nullptr, Long(1)},
        {"a null long reference", Long(1), Pass::NullTyped, E_POINTER, nullptr, Long(1)},
    };
    // DirectIO's `BSTR*` (the other argument a typed 0).
    Case texts[] = {
        {"empty", Of(VT_EMPTY), V, S_OK, L"", Text(L"echo")},
        {"a number", Number(VT_I2, 5), V, S_OK, L"5", Text(L"echo")},
        {"a double", Number(VT_R8, -3), V, S_OK, L"-3", Text(L"echo")},
        {"text", Text(L"old"), V, S_OK, L"old", Text(L"echo")},
        {"a BSTR", Text(L"old"), T, S_OK, L"old", Text(L"echo")},
        {"a number as a value: its result dropped", Long(5), Pass::Value, S_OK, L"5", Long(5)},
        {"null", Of(VT_NULL), V, DISP_E_TYPEMISMATCH, nullptr, Of(VT_NULL)},
        {"a typed long", Long(1), T, DISP_E_TYPEMISMATCH, nullptr, Long(1)},
        {"a null BSTR reference", Text(L"old"), Pass::NullTyped, E_POINTER, nullptr, Text(L"old")},
    };

    auto run = [&](Case& c, bool isText) {
        VARIANT other = isText ? Long(0) : Text(L"in");
        VARIANT data = isText ? Refer(other, T) : Refer(c.before, c.pass);
        VARIANT text = isText ? Refer(c.before, c.pass) : Refer(other, T);
        script->calls.clear();
        InvokeResult r = InvokeRaw(control.get(), co_dispid::DirectIO, {Long(c.command), data, text});
        EXPECT_EQ(r.hr, c.hr);
        if (c.hr == S_OK) {
            EXPECT_EQ(V_I4(r.value.get()), 0);
        } else {
            EXPECT_EQ(r.argErr, isText ? 0u : 1u); // counted from the last argument
        }
        std::wstring saw;
        if (c.serviceSaw != nullptr) {
            saw = L"DirectIO(" + std::to_wstring(c.command) + L"," +
                  (isText ? L"0," + std::wstring(c.serviceSaw) : std::wstring(c.serviceSaw) + L",in") + L")";
        }
        EXPECT_EQ(script->calls.empty() ? L"" : script->calls[0], saw);
        EXPECT_EQ(V_VT(&c.before), V_VT(&c.after));
        EXPECT_TRUE(V_VT(&c.before) == VT_NULL ||
                    VarCmp(&c.before, &c.after, LOCALE_USER_DEFAULT, 0) == static_cast<HRESULT>(VARCMP_EQ));
        for (VARIANT* v : {&c.before, &c.after, &other}) {
            VariantClear(v);
        }
    };
    for (Case& c : numbers) {
        SCOPED_TRACE(std::string("number: ") + c.what);
        run(c, false);
    }
    for (Case& c : texts) {
        SCOPED_TRACE(std::string("text: ") + c.what);
        run(c, true);
    }
}

TEST_F(ControlDispatch, AcceptsTheCombinedFlagsVisualBasicUses) {
    ASSERT_EQ(Open(device.Name()), 0);
    const WORD both = DISPATCH_METHOD | DISPATCH_PROPERTYGET;
    InvokeResult method = InvokeRaw(control.get(), co_dispid::Claim, {Long(0)}, both);
    EXPECT_EQ(method.hr, S_OK);
    EXPECT_EQ(V_I4(method.value.get()), 0);
    InvokeResult property = InvokeRaw(control.get(), co_dispid::State, {}, both);
    EXPECT_EQ(property.hr, S_OK);
    EXPECT_EQ(V_I4(property.value.get()), 2);
}

} // namespace
} // namespace vtx::test
