// The dispatch fuzzer: random and boundary Invoke calls on the service object and
// on our Control Object, checked for the answers an Automation client expects.
#include "DispatchFuzz.h"

#include "CashDrawerControl.h"
#include "ControlMembers.h"
#include "ControlObjectIds.h"
#include "DeviceRegistry.h"
#include "Dispatch.h"
#include "FakeControlObject.h"
#include "QuietSpeaker.h"
#include "VirtualDrawer.h"
#include "com/ComPtr.h"
#include "com/StaticClassFactory.h"
#include "service/CashDrawer.h"
#include "service/DispatchTable.h"
#include "win32/UniqueHandle.h"

#include <oleauto.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>
#include <cwchar>
#include <limits>
#include <map>
#include <memory>
#include <random>

namespace vtx::fuzz {

namespace {

// An index below n, on 32-bit builds too.
template <class Rng> size_t Pick(Rng& rng, size_t n) {
    return static_cast<size_t>(rng() % n);
}

using Rng = std::mt19937_64;
using test::Long;

// {6D1C0E3B-9A54-4C1F-8E27-3B0A5F7D2C91}: the real service object, served in process to our Control Object.
constexpr CLSID kServedClsid = {0x6D1C0E3B, 0x9A54, 0x4C1F, {0x8E, 0x27, 0x3B, 0x0A, 0x5F, 0x7D, 0x2C, 0x91}};
constexpr wchar_t kServedProgId[] = L"Vtx.Test.FuzzedCashDrawer";

void NoModuleLock() {}

// Serves our service object under the fuzz ProgID, as the module's factory does.
class ServiceFactory final : public CStaticClassFactory {
public:
    ServiceFactory() : CStaticClassFactory(&CCashDrawer::Create, &NoModuleLock, &NoModuleLock) {}
};

// What a closed Control Object answers a member with: every method but Open,
// and every property write, 101 (kept as ResultCode); a read of the
// service's properties nothing (0, false or an empty text); a read of its own
// fixed ones their value. What it keeps from earlier calls is not checked.
enum class Closed { Unchecked, Code, Nothing, Own };

struct Member {
    DISPID id;
    int argc;
    std::vector<ArgType> types;
    VARTYPE result = VT_EMPTY; // what a successful call (not a property write) hands back
    Closed closed = Closed::Unchecked;
    long own = 0; // Closed::Own for a number
};

VARTYPE ResultVt(ResultType type) {
    return type == ResultType::Long ? VT_I4 : type == ResultType::Bstr ? VT_BSTR : VT_EMPTY;
}

// A member of the Control Object's dispatch table, its reference answers while closed beside it.
Member ControlObjectMember(const co::ControlMember& m) {
    using enum ArgType;
    namespace d = co_dispid;
    if (m.kind == co::MemberKind::Method) {
        return {m.id,
                static_cast<int>(m.argCount),
                {m.params.begin(), m.params.end()},
                VT_I4,
                m.id == d::Open ? Closed::Unchecked : Closed::Code};
    }
    const bool isBool = m.type == co::ValueType::Bool;
    Member member{m.id,
                  m.writable ? 1 : 0,
                  {},
                  isBool                          ? VT_BOOL
                  : m.type == co::ValueType::Text ? VT_BSTR
                                                  : VT_I4};
    if (m.writable) {
        member.types = {isBool ? Bool : Long};
    }
    const std::map<DISPID, long> kOwn = {{d::State, opos::OPOS_S_CLOSED},
                                         {d::ControlObjectVersion, co::kControlObjectVersion},
                                         {d::ControlObjectDescription, 0}};
    member.closed = m.pidx != 0 ? Closed::Nothing : kOwn.count(m.id) ? Closed::Own : Closed::Unchecked;
    member.own = kOwn.count(m.id) ? kOwn.at(m.id) : 0;
    return member;
}

std::vector<Member> MembersOf(Target target) {
    std::vector<Member> members;
    if (target == Target::ServiceObject) {
        for (const MethodInfo& m : CashDrawerMethods()) {
            Member member{m.dispid, static_cast<int>(m.params.size()), {}, ResultVt(m.result)};
            for (const ParamInfo& p : m.params) {
                member.types.push_back(p.type);
            }
            members.push_back(member);
        }
        return members;
    }
    for (const co::ControlMember& m : co::ControlMembers()) {
        members.push_back(ControlObjectMember(m));
    }
    return members;
}

// A closed Control Object's answer (of the member's own type), against the reference.
bool AnswersAsClosed(const Member& m, const VARIANT& v) {
    switch (m.closed) {
    case Closed::Unchecked:
        return true;
    case Closed::Code:
        return V_I4(&v) == opos::OPOS_E_CLOSED;
    case Closed::Nothing:
        return V_VT(&v) == VT_BSTR   ? SysStringLen(V_BSTR(&v)) == 0
               : V_VT(&v) == VT_BOOL ? V_BOOL(&v) == VARIANT_FALSE
                                     : V_I4(&v) == 0;
    case Closed::Own:
        return V_VT(&v) == VT_BSTR ? std::wcscmp(V_BSTR(&v), co::kControlObjectDescription) == 0
                                   : V_I4(&v) == m.own;
    }
    return false;
}

// Storage a generated argument points into; stable for the call's life.
struct Slot {
    VARIANT v;      // what goes into rgvarg
    VARIANT target; // what a by-reference argument points at
    VARIANT nested; // a VARIANT by reference inside `target`
    DECIMAL decimal;
    BSTR ownText = nullptr; // freed after the call
    SAFEARRAY* array = nullptr;
};

struct Call {
    bool names = false; // GetIDsOfNames/GetTypeInfo instead of Invoke
    DISPID id = 0;
    const Member* member = nullptr; // null: an odd DISPID, checked against no table
    WORD flags = DISPATCH_METHOD;
    bool otherIid = false, nullParams = false, nullArgs = false, nullNamed = false;
    bool wantResult = true, wantArgErr = true, wantExcep = true;
    std::vector<DISPID> named;
    std::deque<Slot> slots; // in call order
    std::string text;       // for the report
};

const long kLongs[] = {0,
                       1,
                       -1,
                       -2,
                       2,
                       3,
                       4,
                       6,
                       7,
                       8,
                       11,
                       13,
                       14,
                       99,
                       100,
                       101,
                       250,
                       1000,
                       1001,
                       1501,
                       1000001,
                       1000004,
                       1000005,
                       32767,
                       -32768,
                       65535,
                       std::numeric_limits<long>::max(),
                       std::numeric_limits<long>::min()};

long PickLong(Rng& rng) {
    return rng() % 8 == 0 ? static_cast<long>(rng()) : kLongs[Pick(rng, std::size(kLongs))];
}

BSTR PickText(Rng& rng, const std::wstring& device, std::string& shown) {
    switch (rng() % 10) {
    case 0:
        shown = "null";
        return nullptr;
    case 1:
        shown = "\"\"";
        return SysAllocString(L"");
    case 2:
        shown = "device";
        return SysAllocString(device.c_str());
    case 3: {
        // Rarely huge: large allocations must neither leak nor be taken for a number.
        UINT length = rng() % 8 == 0 ? 1u << 20 : 300;
        BSTR text = SysAllocStringLen(nullptr, length);
        for (UINT i = 0; i < length; ++i) {
            text[i] = L'7';
        }
        shown = "\"7...\"x" + std::to_string(length);
        return text;
    }
    case 4:
        shown = "\"1\\0 2\"";
        return SysAllocStringLen(L"1\0 2", 4);
    default: {
        static const wchar_t* const kWords[] = {L"0",   L"1",   L"-1",   L"250",        L" 12 ",
                                                L"1e3", L"abc", L"COM1", L"CashDrawer", L"-2147483649"};
        const wchar_t* word = kWords[Pick(rng, std::size(kWords))];
        shown = "\"" + std::string(word, word + wcslen(word)) + "\"";
        return SysAllocString(word);
    }
    }
}

std::string Hex(VARTYPE vt) {
    char text[16];
    std::snprintf(text, sizeof(text), "vt 0x%x", vt);
    return text;
}

VARTYPE PickVartype(Rng& rng) {
    static const VARTYPE kTypes[] = {VT_EMPTY,
                                     VT_NULL,
                                     VT_I2,
                                     VT_I4,
                                     VT_R4,
                                     VT_R8,
                                     VT_CY,
                                     VT_DATE,
                                     VT_BSTR,
                                     VT_DISPATCH,
                                     VT_ERROR,
                                     VT_BOOL,
                                     VT_UNKNOWN,
                                     VT_DECIMAL,
                                     VT_I1,
                                     VT_UI1,
                                     VT_UI2,
                                     VT_UI4,
                                     VT_I8,
                                     VT_UI8,
                                     VT_INT,
                                     VT_UINT,
                                     VT_VARIANT,
                                     VT_ARRAY | VT_UI1,
                                     VT_ARRAY | VT_I4,
                                     VT_VOID,
                                     VT_PTR,
                                     VT_LPWSTR,
                                     VT_CLSID,
                                     0x0FFF};
    return kTypes[Pick(rng, std::size(kTypes))];
}

double PickDouble(Rng& rng) {
    static const double kDoubles[] = {0.0,
                                      0.5,
                                      -1.0,
                                      1e10,
                                      -1e300,
                                      2147483648.0,
                                      -2147483649.5,
                                      std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::infinity()};
    return kDoubles[Pick(rng, std::size(kDoubles))];
}

// What a VARIANT by reference points at: a plain value, text, nothing yet (an out parameter), or another
// by-reference VARIANT.
void FillReferencedVariant(Rng& rng, Slot& slot, VARIANT& v, const std::wstring& device, std::string& inner) {
    VariantInit(&slot.nested);
    V_VT(&slot.nested) = VT_I4;
    V_I4(&slot.nested) = PickLong(rng);
    switch (rng() % 4) {
    case 0:
        break; // stays VT_EMPTY: an out parameter
    case 1:
        V_VT(&v) = VT_I4;
        V_I4(&v) = PickLong(rng);
        break;
    case 2:
        V_VT(&v) = VT_BSTR;
        V_BSTR(&v) = PickText(rng, device, inner);
        break;
    default:
        V_VT(&v) = VT_BYREF | VT_VARIANT;
        V_VARIANTREF(&v) = &slot.nested;
        break;
    }
}

// A random value of type `vt` into `v` (the slot's own VARIANT, or its target when passed by reference).
void FillValue(Rng& rng, VARTYPE vt, bool byRef, Slot& slot, VARIANT& v, IDispatch* fake,
               const std::wstring& device, std::string& inner) {
    switch (vt) {
    case VT_I2:
        V_I2(&v) = static_cast<SHORT>(PickLong(rng));
        break;
    case VT_I4:
    case VT_INT:
    case VT_UI4:
    case VT_UINT:
    case VT_ERROR:
        V_I4(&v) = vt == VT_ERROR && rng() % 2 ? DISP_E_PARAMNOTFOUND : PickLong(rng);
        break;
    case VT_R4:
        V_R4(&v) = static_cast<float>(PickLong(rng)) * 1.5f;
        break;
    case VT_R8:
    case VT_DATE:
        V_R8(&v) = PickDouble(rng);
        break;
    case VT_CY:
    case VT_I8:
    case VT_UI8:
        V_I8(&v) = static_cast<LONGLONG>(rng()) >> (rng() % 64);
        break;
    case VT_BSTR:
        V_BSTR(&v) = slot.ownText = PickText(rng, device, inner);
        break;
    case VT_DISPATCH:
        V_DISPATCH(&v) = rng() % 2 ? fake : nullptr;
        break;
    case VT_UNKNOWN:
        V_UNKNOWN(&v) = rng() % 2 ? fake : nullptr;
        break;
    case VT_BOOL:
        V_BOOL(&v) = static_cast<VARIANT_BOOL>(rng() % 3 == 0 ? 0x1234 : (rng() % 2 ? VARIANT_TRUE : 0));
        break;
    case VT_DECIMAL:
        VarDecFromI4(PickLong(rng), &slot.decimal);
        if (!byRef) {
            V_DECIMAL(&v) = slot.decimal;
        }
        break;
    case VT_I1:
    case VT_UI1:
    case VT_UI2:
        V_UI2(&v) = static_cast<USHORT>(rng());
        break;
    case VT_VARIANT:
        FillReferencedVariant(rng, slot, v, device, inner);
        break;
    case VT_ARRAY | VT_UI1:
    case VT_ARRAY | VT_I4:
        if (rng() % 3 != 0) {
            slot.array = SafeArrayCreateVector(static_cast<VARTYPE>(vt & ~VT_ARRAY), 0, rng() % 4);
        }
        V_ARRAY(&v) = slot.array;
        break;
    default:
        break;
    }
    if (vt != VT_VARIANT) {
        V_VT(&v) = vt;
    }
}

// The slot's own VARIANT made a reference to its target (or, now and then, a null reference); says how.
std::string PointAtTarget(Rng& rng, VARTYPE vt, Slot& slot) {
    VariantInit(&slot.v);
    V_VT(&slot.v) = static_cast<VARTYPE>(VT_BYREF | vt);
    bool null = rng() % 5 == 0;
    V_BYREF(&slot.v) = null               ? nullptr
                       : vt == VT_VARIANT ? static_cast<void*>(&slot.target)
                       : vt == VT_DECIMAL ? static_cast<void*>(&slot.decimal)
                                          : static_cast<void*>(&V_I4(&slot.target));
    char part[48];
    std::snprintf(part, sizeof(part), "vt 0x%x byref%s", V_VT(&slot.v), null ? " null" : "");
    return part;
}

// A value of a random VARTYPE, by value or by reference, into `slot`.
void MakeValue(Rng& rng, Slot& slot, IDispatch* fake, const std::wstring& device, std::string& shown) {
    VARTYPE vt = PickVartype(rng);
    bool byRef = vt == VT_VARIANT || (vt < VT_VOID && vt != VT_EMPTY && vt != VT_NULL && rng() % 4 == 0);
    VARIANT& v = byRef ? slot.target : slot.v;
    VariantInit(&v);
    std::string inner;
    FillValue(rng, vt, byRef, slot, v, fake, device, inner);
    if (!byRef) {
        shown = Hex(vt) + (inner.empty() ? "" : " " + inner);
        return;
    }
    shown = PointAtTarget(rng, vt, slot) + (inner.empty() ? "" : " " + inner) +
            (vt == VT_VARIANT ? " -> " + Hex(V_VT(&slot.target)) : "");
}

// A value of the parameter's own type: most calls should get past conversion.
void MakeTyped(Rng& rng, ArgType type, Slot& slot, IDispatch* fake, const std::wstring& device,
               std::string& shown) {
    VariantInit(&slot.v);
    VariantInit(&slot.target);
    std::string text;
    switch (type) {
    case ArgType::Long:
        V_VT(&slot.v) = VT_I4;
        V_I4(&slot.v) = PickLong(rng);
        shown = std::to_string(V_I4(&slot.v));
        return;
    case ArgType::Bool:
        V_VT(&slot.v) = VT_BOOL;
        V_BOOL(&slot.v) = rng() % 2 ? VARIANT_TRUE : VARIANT_FALSE;
        shown = V_BOOL(&slot.v) ? "true" : "false";
        return;
    case ArgType::Bstr:
        V_VT(&slot.v) = VT_BSTR;
        V_BSTR(&slot.v) = slot.ownText = PickText(rng, device, text);
        shown = text;
        return;
    case ArgType::Dispatch:
        V_VT(&slot.v) = VT_DISPATCH;
        V_DISPATCH(&slot.v) = rng() % 4 ? fake : nullptr;
        shown = V_DISPATCH(&slot.v) ? "co" : "null co";
        return;
    case ArgType::LongRef:
    case ArgType::BstrRef: {
        bool isLong = type == ArgType::LongRef;
        V_VT(&slot.target) = isLong ? VT_I4 : VT_BSTR;
        if (isLong) {
            V_I4(&slot.target) = PickLong(rng);
        } else {
            V_BSTR(&slot.target) = PickText(rng, device, text);
        }
        if (rng() % 3 == 0) { // through a VARIANT by reference, as script clients pass it
            V_VT(&slot.v) = VT_BYREF | VT_VARIANT;
            V_VARIANTREF(&slot.v) = &slot.target;
            shown = isLong ? "&variant(long)" : "&variant(" + text + ")";
        } else {
            V_VT(&slot.v) = static_cast<VARTYPE>(VT_BYREF | V_VT(&slot.target));
            V_BYREF(&slot.v) = &V_I4(&slot.target);
            shown = isLong ? "&long" : "&" + text;
        }
        return;
    }
    }
}

Call Generate(uint64_t seed, const std::vector<Member>& members, IDispatch* fake,
              const std::wstring& device) {
    Rng rng(seed);
    Call call;
    char head[96];
    if (rng() % 20 == 0) {
        call.names = true;
        call.id = static_cast<DISPID>(rng() % 6);
        call.flags = static_cast<WORD>(rng());
        std::snprintf(head, sizeof(head), "names/typeinfo case %ld", call.id);
        call.text = head;
        return call;
    }
    static const DISPID kOdd[] = {0,  -1,  -3,  -4,         -5,
                                  19, 100, 999, 0x7FFFFFFF, static_cast<DISPID>(0x80000000)};
    const Member* member = nullptr;
    if (rng() % 5 == 0) {
        call.id = kOdd[Pick(rng, std::size(kOdd))];
    } else {
        member = &members[Pick(rng, members.size())];
        call.id = member->id;
        call.member = member;
    }
    static const WORD kFlags[] = {DISPATCH_METHOD,
                                  DISPATCH_METHOD,
                                  DISPATCH_METHOD,
                                  DISPATCH_METHOD,
                                  DISPATCH_PROPERTYGET,
                                  DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                  DISPATCH_PROPERTYPUT,
                                  DISPATCH_PROPERTYPUT,
                                  DISPATCH_PROPERTYPUTREF,
                                  0,
                                  0xFFFF};
    call.flags = kFlags[Pick(rng, std::size(kFlags))];
    int argc = member != nullptr && rng() % 4 != 0 ? member->argc : static_cast<int>(rng() % 6);
    if (call.flags == DISPATCH_PROPERTYPUT && rng() % 3 != 0) {
        argc = 1;
        call.named = {DISPID_PROPERTYPUT};
    } else if (argc > 0 && rng() % 12 == 0) {
        call.named = {static_cast<DISPID>(rng() % 2 ? 0 : DISPID_PROPERTYPUT)};
    }
    call.otherIid = rng() % 40 == 0;
    call.nullParams = rng() % 40 == 0;
    call.nullArgs = argc > 0 && rng() % 40 == 0;
    call.nullNamed = !call.named.empty() && rng() % 10 == 0;
    call.wantResult = rng() % 5 != 0;
    call.wantArgErr = rng() % 2 == 0;
    call.wantExcep = rng() % 2 == 0;
    std::snprintf(head, sizeof(head), "Invoke(%ld, flags 0x%x%s%s%s%s%s)(", call.id, call.flags,
                  call.otherIid ? ", riid IDispatch" : "", call.nullParams ? ", no DISPPARAMS" : "",
                  call.nullArgs ? ", rgvarg null" : "",
                  call.named.empty() ? ""
                  : call.nullNamed   ? ", named null"
                                     : ", named",
                  call.wantResult ? "" : ", no result");
    call.text = head;
    for (int i = 0; i < argc; ++i) {
        Slot& slot = call.slots.emplace_back();
        VariantInit(&slot.target);
        std::string shown;
        if (member != nullptr && i < member->argc && rng() % 5 < 3) {
            MakeTyped(rng, member->types[static_cast<size_t>(i)], slot, fake, device, shown);
        } else {
            MakeValue(rng, slot, fake, device, shown);
        }
        call.text += (i ? ", " : "") + shown;
    }
    call.text += ")";
    return call;
}

void Free(Call& call) {
    for (Slot& slot : call.slots) {
        // By-value text is ours; what a by-reference argument holds now may be the callee's replacement.
        if (V_VT(&slot.v) == VT_BSTR) {
            SysFreeString(V_BSTR(&slot.v));
        } else if (slot.ownText != nullptr && V_VT(&slot.target) != VT_BSTR) {
            SysFreeString(slot.ownText);
        }
        if (V_VT(&slot.target) == VT_BSTR) {
            SysFreeString(V_BSTR(&slot.target));
        }
        if (slot.array != nullptr) {
            SafeArrayDestroy(slot.array);
        }
    }
}

bool ExpectedHresult(HRESULT hr) {
    switch (hr) {
    case S_OK:
    case DISP_E_MEMBERNOTFOUND:
    case DISP_E_BADPARAMCOUNT:
    case DISP_E_TYPEMISMATCH:
    case DISP_E_PARAMNOTOPTIONAL:
    case DISP_E_NONAMEDARGS:
    case DISP_E_UNKNOWNINTERFACE:
    case DISP_E_OVERFLOW:
    case DISP_E_BADVARTYPE:
    case DISP_E_EXCEPTION:
    case E_INVALIDARG:
    case E_POINTER:
    case E_OUTOFMEMORY:
    case DISP_E_PARAMNOTFOUND:
    case DISP_E_UNKNOWNNAME:
    case DISP_E_BADINDEX:
    case E_NOTIMPL:
        return true;
    default:
        return false;
    }
}

// The object under test with what it needs; one per episode.
class Episode {
public:
    Episode(Target target, test::VirtualDrawer& drawer, const std::wstring& device, IDispatch* fake)
        : m_target(target), m_drawer(drawer), m_device(device), m_fake(fake) {
        if (target == Target::ServiceObject) {
            CCashDrawer::Create(IID_IDispatch, m_object.put_void());
        } else {
            co::CCashDrawerControl::Create(IID_IDispatch, m_object.put_void());
        }
    }

    long Call0(DISPID so, DISPID co, std::initializer_list<VARIANT> args = {}) {
        test::InvokeResult r =
            test::InvokeRaw(m_object.get(), m_target == Target::ServiceObject ? so : co, args);
        return V_VT(r.value.get()) == VT_I4 ? V_I4(r.value.get()) : r.hr == S_OK ? 0 : -1;
    }
    long Open() {
        test::Arg name(test::Text(m_device.c_str()));
        if (m_target == Target::ControlObject) {
            long code = Call0(0, co_dispid::Open, {name.v()});
            m_closed = m_closed && code != 0;
            return code;
        }
        test::Arg cls(test::Text(L"CashDrawer"));
        return Call0(so_dispid::OpenService, 0, {cls.v(), name.v(), test::Disp(m_fake)});
    }
    long Claim() { return Call0(so_dispid::Claim, co_dispid::Claim, {Long(0)}); }
    long Release() { return Call0(so_dispid::Release, co_dispid::ReleaseDevice); }
    long Close() {
        m_closed = true; // whatever Close answers, the service is let go
        return Call0(so_dispid::Close, co_dispid::Close);
    }
    long ResultCode() {
        if (m_target == Target::ServiceObject) {
            return Call0(so_dispid::GetPropertyNumber, 0, {Long(6)});
        }
        return V_I4(
            test::InvokeRaw(m_object.get(), co_dispid::ResultCode, {}, DISPATCH_PROPERTYGET).value.get());
    }
    long Set(long pidx, long value) {
        if (m_target == Target::ServiceObject) {
            Call0(so_dispid::SetPropertyNumber, 0, {Long(pidx), Long(value)});
        } else {
            VARIANT v = test::Bool(value != 0);
            DISPID named = DISPID_PROPERTYPUT;
            DISPPARAMS params{&v, &named, 1, 1};
            m_object->Invoke(pidx == 3 ? co_dispid::DeviceEnabled : co_dispid::FreezeEvents, IID_NULL, 0,
                             DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
        }
        return ResultCode();
    }

    // 0 closed, 1 open, 2 claimed, 3 claimed and enabled, 4 enabled without a claim, 5 as 3 and frozen.
    void Enter(int state) {
        if (state >= 1)
            Open();
        if (state == 2 || state == 3 || state == 5)
            Claim();
        if (state >= 3)
            Set(3, 1);
        if (state == 5)
            Set(4, 1);
    }

    // A normal session must still work, whatever the fuzzing left behind.
    std::string Consistent() {
        Close();
        struct Step {
            const char* what;
            long got;
        };
        Step steps[] = {{"open", Open()},       {"claim", Claim()},     {"enable", Set(3, 1)},
                        {"disable", Set(3, 0)}, {"release", Release()}, {"close", Close()}};
        for (const Step& s : steps) {
            if (s.got != 0) {
                return std::string("a normal session fails afterwards: ") + s.what + " answers " +
                       std::to_string(s.got);
            }
        }
        return {};
    }

    // One fuzzed call; a non-empty answer names the property it broke.
    std::string Run(Call& call) {
        if (call.names) {
            return RunNames(call);
        }
        std::vector<VARIANT> args(call.slots.size());
        for (size_t i = 0; i < call.slots.size(); ++i) {
            args[call.slots.size() - 1 - i] = call.slots[i].v;
        }
        if (IsClaim(call.id) && !args.empty()) {
            Tame(args.back());
        }
        const std::vector<VARIANT> before = args;
        DISPPARAMS params{call.nullArgs ? nullptr : args.data(), call.nullNamed ? nullptr : call.named.data(),
                          static_cast<UINT>(args.size()), static_cast<UINT>(call.named.size())};
        test::InvokeResult r;
        EXCEPINFO excep{};
        // An unlimited Claim of a port it cannot get waits for a Close from the message loop.
        s_closer = this;
        UINT_PTR guard = IsClaim(call.id) ? SetTimer(nullptr, 0, 400, &CloseFromTimer) : 0;
        r.hr = m_object->Invoke(call.id, call.otherIid ? IID_IDispatch : IID_NULL, LOCALE_USER_DEFAULT,
                                call.flags, call.nullParams ? nullptr : &params,
                                call.wantResult ? r.value.get() : nullptr, call.wantExcep ? &excep : nullptr,
                                call.wantArgErr ? &r.argErr : nullptr);
        if (guard != 0) {
            KillTimer(nullptr, guard);
        }
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrDescription);
        SysFreeString(excep.bstrHelpFile);
        const bool wasClosed = m_target == Target::ControlObject && m_closed;
        NoteOpenOrClose(call, r);
        if (r.hr == S_OK &&
            call.id == (m_target == Target::ServiceObject ? so_dispid::OpenDrawer : co_dispid::OpenDrawer)) {
            m_drawer.Command("CLOSE"); // a drawer left open would keep WaitForDrawerClose waiting
        }
        if (s_trace) {
            std::printf("  %s -> 0x%08lx\n", call.text.c_str(), static_cast<unsigned long>(r.hr));
        }
        char text[96];
        if (!ExpectedHresult(r.hr)) {
            std::snprintf(text, sizeof(text), "Invoke answered 0x%08lx", static_cast<unsigned long>(r.hr));
            return text;
        }
        for (size_t i = 0; i < args.size(); ++i) {
            if (V_VT(&args[i]) != V_VT(&before[i]) || V_BYREF(&args[i]) != V_BYREF(&before[i])) {
                return "argument " + std::to_string(i) + " passed by value was changed";
            }
        }
        if ((r.hr == DISP_E_TYPEMISMATCH || r.hr == DISP_E_PARAMNOTFOUND) && call.wantArgErr &&
            r.argErr >= args.size()) {
            return "puArgErr " + std::to_string(r.argErr) + " names no argument";
        }
        VARTYPE vt = V_VT(r.value.get());
        const bool put = IsPropertyWrite(call);
        if (r.hr == S_OK && call.wantResult) {
            VARTYPE expected = call.member == nullptr ? vt
                               : put                  ? static_cast<VARTYPE>(VT_EMPTY)
                                                      : call.member->result;
            if (vt != expected || (vt != VT_EMPTY && vt != VT_I4 && vt != VT_BOOL && vt != VT_BSTR)) {
                return "result of type " + std::to_string(vt);
            }
            if (wasClosed && !put && call.member != nullptr &&
                !AnswersAsClosed(*call.member, *r.value.get())) {
                return "a closed object answered otherwise";
            }
        } else if (call.wantResult && vt != VT_EMPTY) {
            return "a failed call handed back a result";
        }
        if (wasClosed && r.hr == S_OK && call.member != nullptr &&
            (put || call.member->closed == Closed::Code) && ResultCode() != opos::OPOS_E_CLOSED) {
            return "a closed object kept ResultCode " + std::to_string(ResultCode());
        }
        return {};
    }

private:
    // The same DISPID names other members on the two objects.
    bool IsClaim(DISPID id) const {
        return m_target == Target::ServiceObject ? id == so_dispid::Claim
                                                 : id == co_dispid::Claim || id == co_dispid::ClaimDevice;
    }
    // Whether the Control Object takes the call as a property write.
    bool IsPropertyWrite(const Call& call) const {
        return m_target == Target::ControlObject && (call.flags & DISPATCH_PROPERTYPUT) != 0 &&
               !call.nullParams && !call.nullNamed && call.slots.size() == 1 && call.named.size() == 1 &&
               call.named[0] == DISPID_PROPERTYPUT;
    }
    // Follows whether the Control Object is open.
    void NoteOpenOrClose(const Call& call, test::InvokeResult& r) {
        if (m_target != Target::ControlObject || r.hr != S_OK) {
            return;
        }
        if (call.id == co_dispid::Close) {
            m_closed = true;
        } else if (call.id == co_dispid::Open) {
            test::InvokeResult state =
                test::InvokeRaw(m_object.get(), co_dispid::State, {}, DISPATCH_PROPERTYGET);
            m_closed = V_I4(state.value.get()) == opos::OPOS_S_CLOSED;
        }
    }
    // Claim counts attempts, not time: a huge positive timeout on a port it cannot
    // get makes millions of them, as designed. Keep the fuzzed calls short.
    static void Tame(VARIANT& arg) {
        VARIANT n;
        VariantInit(&n);
        bool nullRef = (V_VT(&arg) & VT_BYREF) != 0 && V_BYREF(&arg) == nullptr;
        if (!nullRef && SUCCEEDED(VariantChangeType(&n, &arg, 0, VT_I4)) && V_I4(&n) > 1000) {
            arg = LongVariant(1000);
        }
        VariantClear(&n);
    }
    static void CALLBACK CloseFromTimer(HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        s_closer->Close();
    }

    std::string RunNames(Call& call) {
        static wchar_t kHuge[4096];
        if (kHuge[0] == 0) {
            wmemset(kHuge, L'N', 4095);
        }
        LPOLESTR names[3] = {const_cast<LPOLESTR>(L"Claim"), const_cast<LPOLESTR>(L"timeout"), kHuge};
        DISPID ids[3] = {};
        HRESULT hr = S_OK;
        UINT count = 0;
        ITypeInfo* info = nullptr;
        switch (call.id) {
        case 0:
            hr = m_object->GetIDsOfNames(IID_NULL, nullptr, 1, 0, ids);
            break;
        case 1:
            names[0] = nullptr;
            hr = m_object->GetIDsOfNames(IID_NULL, names, 3, 0, ids);
            break;
        case 2:
            hr = m_object->GetIDsOfNames(IID_NULL, names, 3, 0, nullptr);
            break;
        case 3:
            hr = m_object->GetIDsOfNames(IID_IDispatch, names, 2, 0, ids);
            break;
        case 4:
            hr = m_object->GetTypeInfoCount(call.flags % 2 ? nullptr : &count);
            break;
        default:
            hr = m_object->GetTypeInfo(call.flags % 3u, 0, call.flags & 4 ? nullptr : &info);
            break;
        }
        if (info != nullptr) {
            info->Release();
        }
        if (!ExpectedHresult(hr) && hr != TYPE_E_ELEMENTNOTFOUND) {
            char text[64];
            std::snprintf(text, sizeof(text), "answered 0x%08lx", static_cast<unsigned long>(hr));
            return text;
        }
        return {};
    }

    static inline Episode* s_closer = nullptr;
    static inline const bool s_trace = NumberFrom("VTX_FUZZ_TRACE", 0) != 0;
    Target m_target;
    test::VirtualDrawer& m_drawer;
    std::wstring m_device;
    IDispatch* m_fake;
    ComPtr<IDispatch> m_object;
    bool m_closed = true; // the Control Object's; a closed one is checked against the reference
};

struct Setup {
    explicit Setup(Target target) {
        drawer.Reset();
        device.SetPort(drawer.PortName());
        if (target == Target::ControlObject) {
            CoRegisterClassObject(kServedClsid, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie);
            wchar_t clsid[40];
            StringFromGUID2(kServedClsid, clsid, 40);
            std::wstring key = std::wstring(kServedProgId) + L"\\CLSID";
            RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, clsid,
                            static_cast<DWORD>((wcslen(clsid) + 1) * sizeof(wchar_t)));
            RegSetKeyValueW(HKEY_LOCAL_MACHINE, device.Path().c_str(), nullptr, REG_SZ, kServedProgId,
                            static_cast<DWORD>(sizeof(kServedProgId)));
        }
    }
    ~Setup() {
        if (cookie != 0) {
            CoRevokeClassObject(cookie);
            RegDeleteTreeW(HKEY_CLASSES_ROOT, kServedProgId);
        }
    }
    test::VirtualDrawer drawer;
    test::DeviceKey device{test::UniqueDeviceName(L"VX-FUZZ")};
    test::FakeControlObject fake;
    test::QuietSpeaker speaker; // a fuzzed WaitForDrawerClose must not sleep for days
    ServiceFactory factory;
    DWORD cookie = 0;
};

// What a crash or a hang report names: the call in progress.
const Call* volatile g_current = nullptr;
std::atomic<long> g_progress{0};
uint64_t g_seed = 0;

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
    std::printf("CRASH 0x%08lx (seed %llu) in: %s\n", info->ExceptionRecord->ExceptionCode,
                static_cast<unsigned long long>(g_seed),
                g_current ? g_current->text.c_str() : "(between calls)");
    std::fflush(stdout);
    return EXCEPTION_CONTINUE_SEARCH;
}

DWORD WINAPI Watchdog(void* stop) {
    long last = -1;
    while (WaitForSingleObject(static_cast<HANDLE>(stop), 30000) == WAIT_TIMEOUT) {
        long now = g_progress.load();
        if (now == last) {
            std::printf("HANG (seed %llu) in: %s\n", static_cast<unsigned long long>(g_seed),
                        g_current ? g_current->text.c_str() : "(between calls)");
            std::fflush(stdout);
            ExitProcess(3);
        }
        last = now;
    }
    return 0;
}

struct EpisodeResult {
    std::string fault;
    size_t at = 0; // calls run when it showed
};

EpisodeResult RunEpisode(Setup& setup, Target target, int state, const std::vector<uint64_t>& calls,
                         const std::vector<Member>& members) {
    EpisodeResult result;
    Episode episode(target, setup.drawer, setup.device.Name(), &setup.fake);
    episode.Enter(state);
    for (size_t i = 0; i < calls.size() && result.fault.empty(); ++i) {
        Call call = Generate(calls[i], members, &setup.fake, setup.device.Name());
        g_current = &call;
        result.fault = episode.Run(call);
        g_current = nullptr;
        ++g_progress;
        result.at = i + 1;
        Free(call);
    }
    if (result.fault.empty()) {
        result.fault = episode.Consistent();
    }
    return result;
}

// Drops calls one at a time while the episode still fails, each run on a fresh object.
std::vector<uint64_t> Shrink(Setup& setup, Target target, int state, std::vector<uint64_t> calls,
                             const std::vector<Member>& members) {
    int reruns = 0;
    for (bool progress = true; progress && calls.size() > 1 && reruns < 300;) {
        progress = false;
        for (size_t i = 0; i < calls.size() && calls.size() > 1; ++i) {
            std::vector<uint64_t> fewer = calls;
            fewer.erase(fewer.begin() + static_cast<long>(i));
            EpisodeResult r = RunEpisode(setup, target, state, fewer, members);
            ++reruns;
            if (!r.fault.empty()) {
                fewer.resize(r.at);
                calls = fewer;
                progress = true;
                --i;
            }
        }
    }
    return calls;
}

const char* const kStates[] = {"closed",          "open",    "claimed",
                               "claimed+enabled", "enabled", "claimed+enabled+frozen"};

} // namespace

FuzzOutcome RunDispatchFuzz(const FuzzOptions& options) {
    FuzzOutcome outcome;
    g_seed = options.seed;
    SetUnhandledExceptionFilter(&ReportCrash);
    UniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueHandle watchdog(CreateThread(nullptr, 0, &Watchdog, stop.get(), 0, nullptr));
    Setup setup(options.target);
    std::vector<Member> members = MembersOf(options.target);
    auto start = std::chrono::steady_clock::now();
    for (uint64_t e = 0; outcome.invocations < options.invocations; ++e) {
        uint64_t episodeSeed = Mix(options.seed, e);
        int state = static_cast<int>(episodeSeed % std::size(kStates));
        std::vector<uint64_t> calls;
        for (long i = 0; i < options.episodeLength &&
                         outcome.invocations + static_cast<long>(calls.size()) < options.invocations;
             ++i) {
            calls.push_back(Mix(episodeSeed, static_cast<uint64_t>(i)));
        }
        EpisodeResult r = RunEpisode(setup, options.target, state, calls, members);
        outcome.invocations += static_cast<long>(calls.size());
        if (!r.fault.empty()) {
            calls.resize(r.at);
            calls = Shrink(setup, options.target, state, calls, members);
            std::string report = "seed " + std::to_string(options.seed) + ", episode " + std::to_string(e) +
                                 ": " + r.fault + "\n  from a fresh object, " + kStates[state] + ", then:";
            for (uint64_t c : calls) {
                Call call = Generate(c, members, &setup.fake, setup.device.Name());
                report += "\n    " + call.text;
                Free(call);
            }
            std::printf("FAULT %s\n", report.c_str());
            std::fflush(stdout);
            outcome.faults.push_back(report);
            if (outcome.faults.size() >= 5) {
                break;
            }
        }
        if (e == 0) {
            outcome.warm = ReadGauges();
        }
    }
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.end = ReadGauges();
    SetEvent(stop.get());
    WaitForSingleObject(watchdog.get(), INFINITE);
    return outcome;
}

} // namespace vtx::fuzz
