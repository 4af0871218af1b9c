// The recording event sink of the Control Object's tests (RecordingSink.h),
// called on the thread that fires the event.
#include "RecordingSink.h"

#include "ControlObjectIds.h"

#include <string>

namespace vtx::test {

bool RecordingSink::AlsoAnswers(REFIID riid) const {
    return m_answersEventsIid && IsEqualIID(riid, co::DIID_CashDrawerControlEvents);
}

HRESULT RecordingSink::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                              UINT*) {
    if (id == co::event_dispid::DirectIOEvent && params != nullptr && params->cArgs == 3 &&
        V_VT(&params->rgvarg[1]) == (VT_BYREF | VT_I4) && V_VT(&params->rgvarg[0]) == (VT_BYREF | VT_BSTR)) {
        m_directIO.push_back(V_I4(&params->rgvarg[2]));
        ++*V_I4REF(&params->rgvarg[1]);
        BSTR& text = *V_BSTRREF(&params->rgvarg[0]);
        SysReAllocString(&text, (std::wstring(text ? text : L"") + L"!").c_str());
        return S_OK;
    }
    if (id != co::event_dispid::StatusUpdateEvent || (flags & DISPATCH_METHOD) == 0 || params == nullptr ||
        params->cArgs != 1 || V_VT(&params->rgvarg[0]) != VT_I4) {
        return DISP_E_MEMBERNOTFOUND;
    }
    long data = V_I4(&params->rgvarg[0]);
    m_events.push_back({data, GetCurrentThreadId()});
    if (m_handler) {
        m_handler(data);
    }
    return S_OK;
}

} // namespace vtx::test
