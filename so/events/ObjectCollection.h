#pragma once
// The event queue's list of records and its mutex. The status monitor adds under
// the lock; the dispatch thread takes, and the application's thread discards, under it too.
#include "events/OPOSEvent.h"
#include "win32/UniqueHandle.h"

#include <cstddef>
#include <deque>
#include <mutex>

namespace vtx {

// Ordered list of owned event records (head first) that a mutex can guard.
// Add, RemoveHead and Count do not lock: their callers hold the lock.
class CObjectCollection {
public:
    CObjectCollection() = default;
    CObjectCollection(const CObjectCollection&) = delete;
    CObjectCollection& operator=(const CObjectCollection&) = delete;
    virtual ~CObjectCollection();

    virtual bool IsKind(int kind) const { return kind == 0; }

    // Drops every record; does not lock.
    BOOL RemoveAll();
    void Add(COPOSEvent* record) { m_items.push_back(record); }
    // The oldest record, now the caller's; null when empty.
    COPOSEvent* RemoveHead();
    size_t Count() const { return m_items.size(); }

    // Without a mutex the collection works unguarded.
    void InstallMutex(UniqueHandle mutex) { m_hMutex = KernelMutex(std::move(mutex)); }
    void lock() const;
    void unlock() const;

    int m_nKind = 0;

private:
    std::deque<COPOSEvent*> m_items;
    mutable KernelMutex m_hMutex;
};

inline constexpr int COLLECTION_KIND_EVENTS = 4;

// The event queue: one per service object.
class CEventsCollection : public CObjectCollection {
public:
    bool IsKind(int kind) const override { return kind == COLLECTION_KIND_EVENTS; }
};

} // namespace vtx
