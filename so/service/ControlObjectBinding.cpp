// OpenService's link to the Control Object: the DISPIDs of its SODirectIO and
// SOStatusUpdate callbacks, looked up once. The application's thread.
#include "service/CashDrawer.h"

#include "opos/OposConstants.h"

namespace vtx {

// The Control Object's pointer is borrowed, never AddRef'd: it owns us.
long CCashDrawer::BindControlObject(IDispatch* pDispatch) {
    m_controlObject = pDispatch;
    if (pDispatch == nullptr) {
        return opos::OPOS_E_NOSERVICE;
    }
    const struct {
        const wchar_t* name;
        DISPID* id;
    } callbacks[] = {{L"SODirectIO", &m_dispidSODirectIO}, {L"SOStatusUpdate", &m_dispidSOStatusUpdate}};
    for (const auto& cb : callbacks) {
        LPOLESTR name = const_cast<LPOLESTR>(cb.name);
        if (FAILED(pDispatch->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_SYSTEM_DEFAULT, cb.id))) {
            m_controlObject = nullptr;
            return opos::OPOS_E_NOSERVICE;
        }
    }
    return opos::OPOS_SUCCESS;
}

} // namespace vtx
