#pragma once
// A device's trace log: plain text lines, appended whole under a mutex named
// after the file, so several processes (32- and 64-bit alike) and devices may
// share one file.
//
// Threads, and what each may touch:
// - Log runs on any thread at any time, often with the port mutex held (the
//   application's thread, the status monitor, the event dispatch thread). It
//   formats the line on its own stack and copies it into the writer's queue;
//   the only locks it takes are m_lock (shared) and the queue's lock, held for
//   that copy. It never touches the file or the file's named mutex, never waits
//   for the writer, and leaves the thread's last error as it found it. A line
//   that finds the queue full is dropped and counted.
// - The writer thread, one per log with tracing on, is the only thread that
//   takes the named mutex or touches the file (the folder, appends, rollover).
//   It swaps the queue's buffer out under the queue lock and writes outside it.
//   Every line that does not reach the file is counted, by why (queue full,
//   rollover failed at twice the cap, file not opened or not written); the
//   counts go into the file as lines ("N lines dropped: why") at the next
//   moment there is room for a line: when the writer has caught up, or before
//   the next line it writes. A log's last counts are written even past twice
//   the cap, so a file ends saying what it misses.
// - Configure and the destructor run on the application's thread. They
//   start the writer (Configure with tracing on) and stop it: a stop asks it to
//   write what is queued and end, and waits at most kTraceFlushLimitMs. A
//   writer still busy then (a slow share, a mutex another process holds) is
//   abandoned, never ended by force: it shares the queue's ownership with the
//   log, and holds a reference on the module its code is in, dropped by
//   FreeLibraryAndExitThread, so neither the log nor the library can go away
//   under it. An abandoned writer stops waiting for the named mutex a few
//   seconds later and drops what it could not write.
// - WriteTraceLogsAtProcessExit runs in DllMain as the process ends, when
//   every other thread, writers included, has been ended wherever it was. It
//   takes every lock only by trying (a thread may have ended holding it: that
//   log's lines are lost), waits for the named mutexes kTraceFlushLimitMs in
//   all, and becomes each queue's writer: it appends the part of the batch the
//   writer had taken but not finished, then what is queued. A writer ended
//   between a write and its note of progress has that write appended twice.
// - m_lock says which writer and device name Log uses: shared in Log and
//   Flush, exclusive in Configure and the destructor while they swap them.
#include "trace/TraceSettings.h"
#include "win32/SrwLock.h"
#include "win32/UniqueHandle.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace vtx {

// How long Configure and the destructor wait for the writer to write what is queued.
inline constexpr DWORD kTraceFlushLimitMs = 500;

// "1D 1B 0F 0C": up to 16 bytes for a line, without allocating (workers log bytes).
class HexBytes {
public:
    HexBytes(const uint8_t* bytes, size_t count);
    const char* c_str() const { return m_text; }

private:
    char m_text[16 * 3 + 4];
};

// The name of the mutex that serialises appends and rollover of one log file
// across processes. Every spelling of the file (relative, "/" or "\", "..",
// any case) gives the same name.
std::wstring TraceMutexName(const std::wstring& file);

struct TraceQueue;

// For DllMain's DLL_PROCESS_DETACH when the process is ending (lpReserved not
// null), never on a FreeLibrary: appends the lines every log of this module
// still holds, without waiting for a writer. Allocates nothing.
void WriteTraceLogsAtProcessExit() noexcept;

class CTraceLog {
public:
    CTraceLog();
    ~CTraceLog();
    CTraceLog(const CTraceLog&) = delete;
    CTraceLog& operator=(const CTraceLog&) = delete;

    // Takes the settings for the named device. The same file and device again
    // keep the writer (and ask it to retry a rollover that failed); anything
    // else stops it as the destructor does and starts a new one.
    void Configure(const TraceSettings& settings, const std::wstring& deviceName);

    // Cheap enough to ask before building a message's arguments.
    bool On(int level) const { return m_level.load(std::memory_order_relaxed) >= level; }

    // printf-style; nothing is formatted unless the level is on. Never fails,
    // never waits for the file, and keeps the caller's last error.
    void Log(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

    // Waits until every line logged so far is written or dropped; false when
    // limitMs passed first. For tests and tools that read the file back.
    bool Flush(DWORD limitMs);

    // UTF-8 of a wide string, escaped so that text from the application can
    // neither end a line nor forge one: CR, LF, TAB and NUL as \r \n \t \0,
    // other control characters as \xNN, the backslash as \\. May throw
    // std::bad_alloc.
    static std::string Utf8(const wchar_t* text, size_t length);

private:
    // Asks the writer to finish and waits for it, at most kTraceFlushLimitMs.
    void StopWriter();

    std::atomic<int> m_level{kTraceOff};
    SrwLock m_lock;
    // Guarded by m_lock.
    std::shared_ptr<TraceQueue> m_queue;
    std::string m_device;
    // The writer's thread handle: the application's thread only.
    UniqueHandle m_writer;
};

} // namespace vtx
