// Calls into the opened service object by the DISPIDs its names had at Open.
#include "ServiceLink.h"

#include "com/Invoke.h"
#include "com/Variant.h"

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
    // The service may release us from inside the call (a Close made in an
    // event handler): keep it alive until it returns.
    ComPtr<IDispatch> keep = m_service;
    UINT argErr = 0;
    return InvokeByDispid(keep.get(), id, DISPATCH_METHOD, args, result, nullptr, &argErr);
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
    return CallLong(ServiceMember::GetPropertyNumber, {LongVariant(pidx)}, out);
}

bool CServiceLink::GetText(long pidx, BSTR& out) {
    Variant result;
    if (FAILED(Call(ServiceMember::GetPropertyString, {LongVariant(pidx)}, result.get())) ||
        V_VT(result.get()) != VT_BSTR) {
        return false;
    }
    out = V_BSTR(result.get());
    V_VT(result.get()) = VT_EMPTY; // ownership passes to the caller
    return true;
}

} // namespace vtx::co
