#include "events/OPOSEvent.h"

namespace vtx {

COPOSEvent::COPOSEvent() : m_evDone(CreateAutoResetEvent()) {}

void COPOSEvent::ReleaseHolder() {
    if (--m_holders == 0) {
        delete this;
    }
}

CStatusUpdateEvent::CStatusUpdateEvent(long status) : m_nStatus(status) {
    m_nKind = EVENT_KIND_STATUS_UPDATE;
}

} // namespace vtx
