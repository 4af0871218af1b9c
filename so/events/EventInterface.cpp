#include "events/EventInterface.h"

namespace vtx {

CEventInterface::~CEventInterface() {
    if (m_dispatchThread.IsRunning()) {
        m_dispatchThread.Stop(5000);
    }
}

} // namespace vtx
