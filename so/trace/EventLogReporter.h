#pragma once
// CEventLogReporter: decides which of the driver's faults reach the Application log, and writes
// them through an IEventLogWriter. One per process (Process()) keeps the history of every device;
// the tests make their own with a recording writer and a clock they move.
//
// What it lets through, per device and kind: the first entry, then nothing for kWindowMs; the
// first entry after that says how many it stands for. A drawer is "lost" once until it is "back",
// and "back" is written only after a "lost" that was written, so a flapping cable gives one
// of each per window. A device whose "EventLog" is 0 writes nothing.
//
// Threads: any, at any time, but never under the port mutex. m_lock guards the devices' history
// and is held only to decide; the entry is written after it is let go, so a slow event log
// holds up the calling thread alone.
#include "trace/EventLogWriter.h"
#include "win32/SrwLock.h"

#include <atomic>
#include <map>
#include <string>

namespace vtx {

enum class EventKind {
    DrawerLost,
    DrawerBack,
    CommandFailed,
    WaitGaveUp,
    TraceNotWritten,
    WorkerForced,
    Count
};

class CEventLogReporter {
public:
    using Clock = ULONGLONG (*)();
    static constexpr ULONGLONG kWindowMs = 10 * 60 * 1000;

    CEventLogReporter(IEventLogWriter& writer, Clock clock);
    CEventLogReporter(const CEventLogReporter&) = delete;
    CEventLogReporter& operator=(const CEventLogReporter&) = delete;

    // The process's reporter, writing to the Application log.
    static CEventLogReporter& Process();

    // The device's "EventLog" switch, set at each Open. A device never set writes.
    void SetEnabled(const std::wstring& device, bool enabled) noexcept;

    // One fault of the device: subject is the port (or the log file, or the worker), error the
    // Windows error, number the message's own figure. True when an entry was written.
    bool Report(const std::wstring& device, EventKind kind, const std::wstring& subject, DWORD error,
                unsigned long long number) noexcept;

    // For tests of the whole driver: entries go to writer from now on, and every device's
    // history starts afresh. The previous writer comes back.
    IEventLogWriter* ReplaceWriter(IEventLogWriter* writer) noexcept;

private:
    struct KindHistory {
        bool written = false;
        ULONGLONG writtenAt = 0;
        unsigned long leftOut = 0;
    };
    struct DeviceHistory {
        bool enabled = true;
        bool lost = false;
        bool lostWritten = false;
        KindHistory kinds[static_cast<int>(EventKind::Count)];
    };
    // Under m_lock: whether this fault is written, and how many it stands for.
    bool Decide(DeviceHistory& device, EventKind kind, unsigned long* leftOut);

    std::atomic<IEventLogWriter*> m_writer;
    const Clock m_clock;
    SrwLock m_lock;
    std::map<std::wstring, DeviceHistory> m_devices;
};

} // namespace vtx
