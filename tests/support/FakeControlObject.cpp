// The stand-in Control Object's callbacks; it records updates with the thread they came on.
#include "FakeControlObject.h"

#include <string>

namespace vtx::test {

HRESULT FakeControlObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (count != 1) {
        return DISP_E_UNKNOWNNAME;
    }
    std::wstring name = names[0];
    {
        std::lock_guard guard(m_lock);
        m_lookups.push_back(name);
    }
    if (name == L"SODirectIO" && m_lacks != Lacks::DirectIO) {
        *ids = kDispidDirectIO;
        return S_OK;
    }
    if (name == L"SOStatusUpdate" && m_lacks != Lacks::StatusUpdate) {
        *ids = kDispidStatusUpdate;
        return S_OK;
    }
    *ids = DISPID_UNKNOWN;
    return DISP_E_UNKNOWNNAME;
}

HRESULT FakeControlObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*,
                                  EXCEPINFO*, UINT*) {
    ++m_invocations;
    if (id != kDispidStatusUpdate || (flags & DISPATCH_METHOD) == 0 || params == nullptr ||
        params->cArgs != 1 || V_VT(&params->rgvarg[0]) != VT_I4) {
        return DISP_E_MEMBERNOTFOUND;
    }
    long status = V_I4(&params->rgvarg[0]);
    {
        std::lock_guard guard(m_lock);
        m_updates.push_back({status, GetCurrentThreadId()});
    }
    if (m_handler) {
        m_handler(status);
    }
    return S_OK;
}

std::vector<StatusUpdate> FakeControlObject::Updates() const {
    std::lock_guard guard(m_lock);
    return m_updates;
}

std::vector<long> FakeControlObject::Statuses() const {
    std::vector<long> out;
    for (const StatusUpdate& u : Updates()) {
        out.push_back(u.status);
    }
    return out;
}

std::vector<std::wstring> FakeControlObject::LookedUpNames() const {
    std::lock_guard guard(m_lock);
    return m_lookups;
}

} // namespace vtx::test
