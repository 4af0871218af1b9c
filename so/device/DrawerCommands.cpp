#include "service/CashDrawer.h"

#include "service/OposConstants.h"

namespace vtx {

using namespace opos;

void CCashDrawer::OpenDrawer() {
    if (!m_properties.IsOpen() || !m_properties.IsEnabled()) {
        StoreResult(OPOS_E_ILLEGAL);
        return;
    }
    // Unreachable until enabling exists.
    StoreResult(OPOS_E_FAILURE);
}

void CCashDrawer::WaitForDrawerClose(long, long, long, long) {
    if (!m_properties.IsOpen()) {
        StoreResult(OPOS_E_ILLEGAL);
        return;
    }
    if (!m_properties.IsEnabled()) {
        StoreResult(OPOS_E_DISABLED);
        return;
    }
    StoreResult(OPOS_E_FAILURE);
}

} // namespace vtx
