// Calls into the opened service object by the DISPIDs its names had at Open.
#include "ServiceLink.h"

#include "com/Variant.h"

#include <vector>

namespace vtx::co {

namespace {
const wchar_t* const kMemberNames[] = {
    L"OpenService",
    L"Claim",
    L"Release",
    L"Close",
    L"CheckHealth",
    L"DirectIO",
    L"RetrieveStatistics",
    L"GetPropertyNumber",
    L"SetPropertyNumber",
    L"GetPropertyString",
    L"OpenDrawer",
    L"WaitForDrawerClose",
    L"ResetStatistics",
    L"UpdateStatistics",
    L"CompareFirmwareVersion",
    L"UpdateFirmware",
};
static_assert(std::size(kMemberNames) == static_cast<size_t>(ServiceMember::Count));

VARIANT Typed(VARTYPE type) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = type;
    return v;
}
} // namespace

CServiceLink::CServiceLink(ComPtr<IDispatch> service) : m_service(std::move(service)) {
    for (size_t i = 0; i < std::size(kMemberNames); ++i) {
        LPOLESTR name = const_cast<LPOLESTR>(kMemberNames[i]);
        if (FAILED(m_service->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, &m_ids[i]))) {
            m_ids[i] = DISPID_UNKNOWN;
        }
    }
}

ComPtr<IDispatch> CServiceLink::Detach() {
    ComPtr<IDispatch> service = std::move(m_service);
    m_service.reset();
    return service;
}

HRESULT CServiceLink::Call(ServiceMember member, std::initializer_list<VARIANT> args, VARIANT* result) {
    DISPID id = m_ids[static_cast<int>(member)];
    if (!m_service || id == DISPID_UNKNOWN) {
        return DISP_E_MEMBERNOTFOUND;
    }
    std::vector<VARIANT> reversed(args.size());
    size_t slot = args.size();
    for (const VARIANT& a : args) {
        reversed[--slot] = a; // shallow: the caller owns the contents
    }
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr, static_cast<UINT>(args.size()),
                      0};
    // The service may release us from inside the call (a Close made in an
    // event handler): keep it alive until it returns.
    ComPtr<IDispatch> keep = m_service;
    UINT argErr = 0;
    return keep->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result, nullptr,
                        &argErr);
}

bool CServiceLink::CallLong(ServiceMember member, std::initializer_list<VARIANT> args, long& out) {
    Variant result;
    if (FAILED(Call(member, args, result.get()))) {
        return false;
    }
    Variant converted;
    if (FAILED(VariantChangeType(converted.get(), result.get(), 0, VT_I4))) {
        return false;
    }
    out = V_I4(converted.get());
    return true;
}

bool CServiceLink::CallVoid(ServiceMember member, std::initializer_list<VARIANT> args) {
    Variant result;
    return SUCCEEDED(Call(member, args, result.get()));
}

bool CServiceLink::GetNumber(long pidx, long& out) {
    return CallLong(ServiceMember::GetPropertyNumber, {LongValue(pidx)}, out);
}

bool CServiceLink::GetText(long pidx, BSTR& out) {
    Variant result;
    if (FAILED(Call(ServiceMember::GetPropertyString, {LongValue(pidx)}, result.get())) ||
        V_VT(result.get()) != VT_BSTR) {
        return false;
    }
    out = V_BSTR(result.get());
    V_VT(result.get()) = VT_EMPTY; // ownership passes to the caller
    return true;
}

VARIANT LongValue(long v) {
    VARIANT a = Typed(VT_I4);
    V_I4(&a) = v;
    return a;
}
VARIANT TextValue(BSTR v) {
    VARIANT a = Typed(VT_BSTR);
    V_BSTR(&a) = v;
    return a;
}
VARIANT DispatchValue(IDispatch* v) {
    VARIANT a = Typed(VT_DISPATCH);
    V_DISPATCH(&a) = v;
    return a;
}
VARIANT LongRefValue(long* v) {
    VARIANT a = Typed(VT_BYREF | VT_I4);
    V_I4REF(&a) = v;
    return a;
}
VARIANT BstrRefValue(BSTR* v) {
    VARIANT a = Typed(VT_BYREF | VT_BSTR);
    V_BSTRREF(&a) = v;
    return a;
}

} // namespace vtx::co
