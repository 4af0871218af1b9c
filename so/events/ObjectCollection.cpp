// The event queue's list: emptying it (releasing the list's hold on each record)
// and locking it, where an abandoned mutex counts as taken.
#include "events/ObjectCollection.h"

namespace vtx {

CObjectCollection::~CObjectCollection() {
    RemoveAll();
}

BOOL CObjectCollection::RemoveAll() {
    while (COPOSEvent* record = RemoveHead()) {
        record->ReleaseHolder();
    }
    return TRUE;
}

COPOSEvent* CObjectCollection::RemoveHead() {
    if (m_items.empty()) {
        return nullptr;
    }
    COPOSEvent* head = m_items.front();
    m_items.pop_front();
    return head;
}

void CObjectCollection::lock() const {
    if (m_hMutex) {
        m_hMutex.lock();
    }
}

void CObjectCollection::unlock() const {
    if (m_hMutex) {
        m_hMutex.unlock();
    }
}

} // namespace vtx
