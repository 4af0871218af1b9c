// Event records: the process-wide live count, and the last holder's release, which
// may come on the dispatch thread or on the application's thread.
#include "events/OPOSEvent.h"

namespace vtx {

namespace {
std::atomic<long> g_live{0};
}

COPOSEvent::COPOSEvent() : m_evDone(CreateAutoResetEvent()) {
    ++g_live;
}

COPOSEvent::~COPOSEvent() {
    --g_live;
}

long COPOSEvent::LiveCount() {
    return g_live.load();
}

void COPOSEvent::ReleaseHolder() {
    if (--m_holders == 0) {
        delete this;
    }
}

CStatusUpdateEvent::CStatusUpdateEvent(long status) : m_nStatus(status) {
    m_nKind = EVENT_KIND_STATUS_UPDATE;
}

} // namespace vtx
