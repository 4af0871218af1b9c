// The recording IDispatch of the setup tests (RecordingDispatch.h), on the test's thread.
#include "RecordingDispatch.h"

#include <gtest/gtest.h>

#include <ostream>

namespace vtx::setup::test {

namespace {
std::wstring Render(const VARIANT& v) {
    switch (V_VT(&v)) {
    case VT_BSTR:
        return L"BSTR:" + std::wstring(V_BSTR(&v) ? V_BSTR(&v) : L"");
    case VT_I2:
        return L"I2:" + std::to_wstring(V_I2(&v));
    case VT_I4:
        return L"I4:" + std::to_wstring(V_I4(&v));
    case VT_BOOL:
        return L"BOOL:" + std::to_wstring(V_BOOL(&v));
    default:
        return L"VT" + std::to_wstring(V_VT(&v));
    }
}
} // namespace

std::ostream& operator<<(std::ostream& out, const Invocation& i) {
    out << "{id " << i.id << ", flags " << i.flags << ", args";
    for (const auto& a : i.args) {
        out << ' ' << testing::PrintToString(a);
    }
    out << ", named";
    for (DISPID n : i.named) {
        out << ' ' << n;
    }
    return out << (i.wantsResult ? ", result}" : "}");
}

RecordingDispatch::RecordingDispatch() : DispatchFake(Lifetime::Counted) {}

RecordingDispatch::~RecordingDispatch() {
    for (auto& [id, v] : m_answers) {
        VariantClear(&v);
    }
}

HRESULT RecordingDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    for (UINT i = 0; i < count; ++i) {
        lookups.emplace_back(names[i]);
        ids[i] = DISPID_UNKNOWN;
    }
    if (count == 1 && std::wstring(names[0]) == L"Claim" && !claimMissing) {
        ids[0] = kClaimId;
        return S_OK;
    }
    return DISP_E_UNKNOWNNAME;
}

HRESULT RecordingDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                  EXCEPINFO* info, UINT*) {
    Invocation call{id, flags, {}, {}, result != nullptr};
    for (UINT i = params->cArgs; i > 0; --i) {
        call.args.push_back(Render(params->rgvarg[i - 1]));
    }
    for (UINT i = 0; i < params->cNamedArgs; ++i) {
        call.named.push_back(params->rgdispidNamedArgs[i]);
    }
    invocations.push_back(call);

    if (auto f = m_failures.find(id); f != m_failures.end()) {
        return f->second;
    }
    if (auto r = m_raises.find(id); r != m_raises.end()) {
        if (info != nullptr) {
            *info = EXCEPINFO{};
            info->scode = r->second.first;
            info->bstrDescription = SysAllocString(r->second.second.c_str());
            info->bstrSource = SysAllocString(L"RecordingDispatch");
        }
        return DISP_E_EXCEPTION;
    }
    if (auto a = m_answers.find(id); a != m_answers.end() && result != nullptr) {
        return VariantCopy(result, &a->second);
    }
    return S_OK;
}

void RecordingDispatch::Answer(DISPID id, const VARIANT& value) {
    VARIANT copy;
    VariantInit(&copy);
    VariantCopy(&copy, const_cast<VARIANT*>(&value)); // MinGW declares the source non-const
    VariantClear(&m_answers[id]);
    m_answers[id] = copy;
}

void RecordingDispatch::Raise(DISPID id, HRESULT scode, const wchar_t* description) {
    m_raises[id] = {scode, description};
}

} // namespace vtx::setup::test
