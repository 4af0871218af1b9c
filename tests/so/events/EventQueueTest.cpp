// The event queue and its records.
#include "events/ObjectCollection.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace vtx {
namespace {

// Counts deletions, so ownership can be checked.
struct CountedEvent : CStatusUpdateEvent {
    explicit CountedEvent(long status, int& deleted) : CStatusUpdateEvent(status), m_deleted(deleted) {}
    ~CountedEvent() override { ++m_deleted; }
    int& m_deleted;
};

TEST(EventQueue, RemoveAllOnAnEmptyQueueSucceeds) {
    CEventsCollection queue;
    EXPECT_TRUE(queue.RemoveAll());
    EXPECT_EQ(queue.Count(), 0u);
    EXPECT_EQ(queue.RemoveHead(), nullptr);
}

TEST(EventQueue, RecordsComeOutInTheOrderTheyWentIn) {
    for (long first : {0L, 1L}) {
        CEventsCollection queue;
        queue.Add(new CStatusUpdateEvent(first));
        queue.Add(new CStatusUpdateEvent(1 - first));
        COPOSEvent* a = queue.RemoveHead();
        COPOSEvent* b = queue.RemoveHead();
        EXPECT_EQ(static_cast<CStatusUpdateEvent*>(a)->m_nStatus, first);
        EXPECT_EQ(static_cast<CStatusUpdateEvent*>(b)->m_nStatus, 1 - first);
        a->ReleaseHolder();
        b->ReleaseHolder();
    }
}

TEST(EventQueue, OwnsItsRecordsUntilTheyAreTaken) {
    int deleted = 0;
    {
        CEventsCollection queue;
        queue.Add(new CountedEvent(1, deleted));
        queue.Add(new CountedEvent(0, deleted));
        queue.Add(new CountedEvent(1, deleted));
        COPOSEvent* taken = queue.RemoveHead();
        EXPECT_TRUE(queue.RemoveAll());
        EXPECT_EQ(deleted, 2);
        queue.Add(new CountedEvent(0, deleted));
        taken->ReleaseHolder();
        EXPECT_EQ(deleted, 3);
    }
    EXPECT_EQ(deleted, 4); // the queue's destructor frees what is left
}

TEST(EventQueue, RecordLivesUntilItsLastHolderLetsGo) {
    int deleted = 0;
    auto* record = new CountedEvent(1, deleted);
    record->AddHolder(); // a posted message
    record->ReleaseHolder();
    EXPECT_EQ(deleted, 0);
    record->ReleaseHolder();
    EXPECT_EQ(deleted, 1);
}

TEST(EventQueue, StatusRecordIsKindFiveWithItsDoneEventClear) {
    CStatusUpdateEvent record(1);
    EXPECT_EQ(record.m_nKind, EVENT_KIND_STATUS_UPDATE);
    EXPECT_TRUE(record.IsKind(5));
    EXPECT_FALSE(record.IsKind(0));
    EXPECT_EQ(WaitForSingleObject(record.m_evDone.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    CEventsCollection queue;
    EXPECT_TRUE(queue.IsKind(COLLECTION_KIND_EVENTS));
}

TEST(EventQueue, WorksWithoutALockAndWithOneAcrossThreads) {
    CEventsCollection unlocked;
    unlocked.lock(); // no mutex installed: both are no-ops
    unlocked.Add(new CStatusUpdateEvent(0));
    unlocked.unlock();
    EXPECT_EQ(unlocked.Count(), 1u);

    CEventsCollection locked;
    locked.InstallMutex(CreateUnownedMutex());
    constexpr int kPerThread = 500;
    auto produce = [&locked] {
        for (int i = 0; i < kPerThread; ++i) {
            std::lock_guard lock(locked);
            locked.Add(new CStatusUpdateEvent(i));
        }
    };
    std::thread a(produce), b(produce);
    a.join();
    b.join();
    EXPECT_EQ(locked.Count(), 2u * kPerThread);
}

} // namespace
} // namespace vtx
