// Formatting trace lines, queueing them, and the writer thread that appends
// them and rolls the file over. Log and Flush run on any thread; Configure
// and the destructor on the Control Object's; everything from "The writer"
// down runs on the writer thread only, or on the thread ending the process
// once the writer is gone (the protocol is in TraceLog.h).
//
// One writer per traced log rather than one per process: a log on a slow or
// dead share then holds up its own device's lines only, stopping a writer
// needs no bookkeeping shared between devices, and nothing runs while tracing
// is off, which is the usual case.
#include "trace/TraceLog.h"

#include "trace/EventLogReporter.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <shared_mutex>
#include <utility>

namespace vtx {

namespace {

constexpr int kArchitectureBits = sizeof(void*) * 8;
// A message too long for one line is cut, never split.
constexpr size_t kLineBytes = 1024;
// Queued bytes beyond which lines are dropped: some thousand wire lines, a few
// seconds of a busy device with the file out of reach.
constexpr size_t kQueueBytes = 128 * 1024;
// After a failed rollover the file grows to this many times the cap, no more.
constexpr uint64_t kFailedRolloverGrowth = 2;
// A locked "<file>.1" is tried again no sooner (a Configure tries at once).
constexpr DWORD kRolloverRetryMs = 5000;
// How long after the stop request an abandoned writer still waits for the
// named mutex before it drops what is left.
constexpr DWORD kAbandonedWaitMs = 5000;

// Its address names this module to GetModuleHandleExW.
const char kModuleAnchor = 0;

// Why a line did not reach the file; each has its own count.
enum LossReason { kQueueFull, kNoRollover, kNotWritten, kLossReasons };
constexpr const char* kLossText[kLossReasons] = {"the trace queue was full", "the log could not roll over",
                                                 "the log could not be opened or written"};

class LastErrorKeeper {
public:
    LastErrorKeeper() : m_error(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(m_error); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    DWORD m_error;
};

std::wstring FullPathOf(const std::wstring& file) {
    DWORD size = GetFullPathNameW(file.c_str(), 0, nullptr, nullptr);
    if (size == 0) {
        return file;
    }
    std::wstring full(size, L'\0');
    DWORD length = GetFullPathNameW(file.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) {
        return file;
    }
    full.resize(length);
    return full;
}

// Folded with the invariant locale, so every process derives the same name
// whatever its user's language.
std::wstring MutexNameOfFullPath(const std::wstring& full) {
    std::wstring folded = full;
    if (!full.empty()) {
        LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, full.c_str(), static_cast<int>(full.size()),
                     folded.data(), static_cast<int>(folded.size()));
    }
    uint64_t hash = 1469598103934665603ull;
    for (wchar_t c : folded) {
        hash = (hash ^ static_cast<uint64_t>(c)) * 1099511628211ull;
    }
    wchar_t name[64];
    swprintf(name, 64, L"Local\\VTXCashDrawerTrace-%016llx", static_cast<unsigned long long>(hash));
    return name;
}

void CreateFolderOf(const std::wstring& file) {
    size_t slash = file.find_last_of(L"\\/");
    if (slash == std::wstring::npos || slash == 0) {
        return;
    }
    std::wstring folder = file.substr(0, slash);
    if (CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() != ERROR_PATH_NOT_FOUND) {
        return;
    }
    CreateFolderOf(folder);
    CreateDirectoryW(folder.c_str(), nullptr);
}

// The fields every line starts with: time, process, thread, architecture, device.
int FormatHead(char* out, size_t size, const std::string& device) {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return std::snprintf(out, size, "%04u-%02u-%02u %02u:%02u:%02u.%03u %5lu %5lu %d %s ", now.wYear,
                         now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                         GetCurrentProcessId(), GetCurrentThreadId(), kArchitectureBits, device.c_str());
}

// A whole line into out (at most size bytes, the message cut to fit), ending
// in CR LF; 0 when it cannot be formatted.
size_t FormatLineV(char* out, size_t size, const std::string& device, const char* format, va_list args) {
    int head = FormatHead(out, size, device);
    if (head < 0 || static_cast<size_t>(head) >= size - 3) {
        return 0;
    }
    int body = std::vsnprintf(out + head, size - static_cast<size_t>(head) - 2, format, args);
    if (body < 0) {
        return 0;
    }
    size_t length = static_cast<size_t>(head) + static_cast<size_t>(body);
    if (length > size - 3) {
        length = size - 3;
    }
    out[length++] = '\r';
    out[length++] = '\n';
    return length;
}

size_t FormatLine(char* out, size_t size, const std::string& device, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
size_t FormatLine(char* out, size_t size, const std::string& device, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const size_t length = FormatLineV(out, size, device, format, args);
    va_end(args);
    return length;
}

} // namespace

std::wstring TraceMutexName(const std::wstring& file) {
    return MutexNameOfFullPath(FullPathOf(file));
}

namespace {

// Every queue of this module that is alive, so that the end of the process
// finds them. Each queue links itself in and out; the lock is held for that only.
SrwLock g_queuesLock;
TraceQueue* g_queues = nullptr;

} // namespace

// Shared by one log and its writer; whichever lets go last frees it.
struct TraceQueue {
    TraceQueue(std::wstring fullPath, std::string deviceName, uint64_t cap)
        : file(std::move(fullPath)), rolled(file + L".1"), device(std::move(deviceName)), maxBytes(cap),
          fileMutex(CreateMutexW(nullptr, FALSE, MutexNameOfFullPath(file).c_str())),
          wake(CreateAutoResetEvent()), stop(CreateManualResetEvent()), buffer(new char[kQueueBytes]),
          spare(new char[kQueueBytes]) {
        std::lock_guard hold(g_queuesLock);
        nextLive = g_queues;
        if (nextLive != nullptr) {
            nextLive->prevLive = this;
        }
        g_queues = this;
    }
    ~TraceQueue() {
        std::lock_guard hold(g_queuesLock);
        (prevLive != nullptr ? prevLive->nextLive : g_queues) = nextLive;
        if (nextLive != nullptr) {
            nextLive->prevLive = prevLive;
        }
    }
    TraceQueue(const TraceQueue&) = delete;
    TraceQueue& operator=(const TraceQueue&) = delete;

    // Fixed before the writer starts.
    const std::wstring file;
    const std::wstring rolled;
    const std::string device;
    const uint64_t maxBytes;
    const UniqueHandle fileMutex;
    const UniqueHandle wake; // auto-reset: the queue went from empty to not
    const UniqueHandle stop; // manual-reset: write what is queued, then end
    std::atomic<DWORD> stopAt{0};

    // Guarded by g_queuesLock.
    TraceQueue* prevLive = nullptr;
    TraceQueue* nextLive = nullptr;

    // Guarded by lock.
    SrwLock lock;
    CONDITION_VARIABLE progress = CONDITION_VARIABLE_INIT; // the writer finished a batch
    std::unique_ptr<char[]> buffer;
    size_t queued = 0;
    uint64_t dropped = 0;  // lines that found the queue full since the last swap
    uint64_t logged = 0;   // lines queued or dropped, ever
    uint64_t finished = 0; // of those, the lines the writer is done with
    bool retryRollover = false;

    // The writer's alone (spare is swapped with buffer under lock), and the
    // process end's once the writer is gone.
    std::unique_ptr<char[]> spare;
    // The batch in spare, set with the swap: bytes, the lines that found the
    // queue full behind it (until counted), and how far it is written or counted.
    size_t batchBytes = 0;
    uint64_t batchDropped = 0;
    std::atomic<size_t> batchDone{0};
    bool retryNow = false;
    bool rolloverFailed = false;
    DWORD rolloverFailedAt = 0;
    uint64_t unreported[kLossReasons] = {}; // lines left out, not yet counted in the file
    // Lines the file did not get (not written, no rollover), ever, and how many of them
    // the event log has heard of; the Windows error of the latest failure.
    uint64_t lostLines = 0;
    uint64_t lostReported = 0;
    DWORD lostError = 0;
};

namespace {

void Push(TraceQueue& queue, const char* line, size_t length) {
    bool wasEmpty = false;
    {
        std::lock_guard hold(queue.lock);
        ++queue.logged;
        if (queue.queued + length > kQueueBytes) {
            ++queue.dropped;
            return;
        }
        std::memcpy(queue.buffer.get() + queue.queued, line, length);
        wasEmpty = queue.queued == 0;
        queue.queued += length;
    }
    if (wasEmpty) {
        SetEvent(queue.wake.get());
    }
}

// ---- The writer ----

// One line per reason with lines left out and not yet counted in the file,
// "<count> lines dropped: <why>"; 0 bytes when there are none.
using NoticeText = char[kLossReasons * kLineBytes];
size_t FormatNotices(NoticeText& out, const TraceQueue& queue) {
    size_t length = 0;
    for (int why = 0; why < kLossReasons; ++why) {
        if (queue.unreported[why] > 0) {
            length += FormatLine(out + length, kLineBytes, queue.device, "%llu lines dropped: %s",
                                 static_cast<unsigned long long>(queue.unreported[why]), kLossText[why]);
        }
    }
    return length;
}

// Holds the log's named mutex for a scope. Until a stop is asked for it waits
// as long as it takes; after, only until the abandoned writer's time is up.
// A mutex whose holder ended without letting go is had all the same.
class FileMutexHold {
public:
    explicit FileMutexHold(const TraceQueue& queue) : m_mutex(queue.fileMutex.get()) {
        HANDLE waits[] = {m_mutex, queue.stop.get()};
        DWORD waited = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (waited == WAIT_OBJECT_0 + 1) {
            DWORD spent = GetTickCount() - queue.stopAt.load();
            waited = WaitForSingleObject(m_mutex, spent < kAbandonedWaitMs ? kAbandonedWaitMs - spent : 0);
        }
        m_held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED_0;
    }
    FileMutexHold(HANDLE mutex, DWORD limitMs) : m_mutex(mutex) {
        const DWORD waited = WaitForSingleObject(m_mutex, limitMs);
        m_held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED_0;
    }
    ~FileMutexHold() {
        if (m_held) {
            ReleaseMutex(m_mutex);
        }
    }
    FileMutexHold(const FileMutexHold&) = delete;
    FileMutexHold& operator=(const FileMutexHold&) = delete;
    bool Held() const { return m_held; }

private:
    HANDLE m_mutex;
    bool m_held = false;
};

// Appends whole lines to the file, the named mutex held, rolling it over at
// the cap. Lines accepted but not yet written are [m_pending, +m_pendingBytes):
// consecutive lines go out in one write. Every line is written or counted in
// the queue's unreported counts, which go into the file before the next line
// written or when Notices finds room.
class Appender {
public:
    // last: the log's last lines, whose counts may pass the limit.
    Appender(TraceQueue& queue, bool last) : m_queue(queue), m_last(last) {}

    bool Open() {
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        m_file.reset(CreateFileW(m_queue.file.c_str(), FILE_APPEND_DATA, share, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size{};
        if (!m_file || !GetFileSizeEx(m_file.get(), &size)) {
            m_queue.lostError = GetLastError();
            m_file.reset();
            return false;
        }
        m_size = static_cast<uint64_t>(size.QuadPart);
        return true;
    }

    // Lines, each ending in LF, from one buffer; how far they are done goes to *done.
    void Lines(const char* data, size_t length, std::atomic<size_t>* done = nullptr) {
        m_start = m_pending = data;
        m_pendingBytes = 0;
        m_pendingLines = 0;
        m_done = done;
        for (size_t at = 0; at < length;) {
            const void* lf = std::memchr(data + at, '\n', length - at);
            size_t end =
                lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - data) + 1 : length;
            Line(end - at);
            at = end;
        }
        Write();
    }

    // The counts of lines left out, when there is room for them.
    void Notices() {
        NoticeText notice;
        const size_t length = FormatNotices(notice, m_queue);
        if (length > 0 && Room(length, m_last)) {
            Write();
            WriteNotices(notice, length);
        }
    }

private:
    // The next line, the one right after those pending; the counts before it.
    void Line(size_t length) {
        NoticeText notice;
        const size_t noticeBytes = m_file ? FormatNotices(notice, m_queue) : 0;
        if (!Room(noticeBytes + length, false)) {
            Leave(length);
            return;
        }
        if (noticeBytes > 0) {
            Write();
            WriteNotices(notice, noticeBytes);
        }
        m_pendingBytes += length;
        ++m_pendingLines;
    }

    // Whether length more bytes may go into the file now; rolls it over at the
    // cap. After a failed rollover lines stop at the limit, the last counts not.
    bool Room(size_t length, bool pastLimit) {
        if (!m_file) {
            return false;
        }
        if (m_size + m_pendingBytes + length <= m_queue.maxBytes || m_size + m_pendingBytes == 0) {
            return true;
        }
        Write();
        if (RollOver()) {
            return true;
        }
        return m_file && (pastLimit || m_size + length <= kFailedRolloverGrowth * m_queue.maxBytes);
    }

    // Skips the next line, counted.
    void Leave(size_t length) {
        Write();
        ++m_queue.unreported[m_file ? kNoRollover : kNotWritten];
        ++m_queue.lostLines;
        m_pending += length;
        Progress();
    }

    void Write() {
        if (m_pendingBytes > 0) {
            DWORD written = 0;
            if (!m_file ||
                !WriteFile(m_file.get(), m_pending, static_cast<DWORD>(m_pendingBytes), &written, nullptr) ||
                written != m_pendingBytes) {
                m_queue.lostError = m_file ? GetLastError() : m_queue.lostError;
                m_queue.unreported[kNotWritten] += m_pendingLines;
                m_queue.lostLines += m_pendingLines;
            }
            m_size += written;
        }
        m_pending += m_pendingBytes;
        m_pendingBytes = 0;
        m_pendingLines = 0;
        Progress();
    }

    void WriteNotices(const char* notice, size_t length) {
        DWORD written = 0;
        const bool whole = WriteFile(m_file.get(), notice, static_cast<DWORD>(length), &written, nullptr) &&
                           written == length;
        m_size += written;
        if (whole) {
            std::fill(std::begin(m_queue.unreported), std::end(m_queue.unreported), 0);
        }
    }

    void Progress() {
        if (m_done != nullptr) {
            m_done->store(static_cast<size_t>(m_pending - m_start), std::memory_order_relaxed);
        }
    }

    // True when the file now starts afresh. Tried again only after a pause or
    // a Configure, so a locked "<file>.1" costs a rename per few seconds, not
    // per line. A failed reopen leaves no file: the lines after it are counted.
    bool RollOver() {
        const DWORD now = GetTickCount();
        if (m_queue.rolloverFailed && !m_queue.retryNow &&
            now - m_queue.rolloverFailedAt < kRolloverRetryMs) {
            return false;
        }
        m_queue.retryNow = false;
        m_file.reset();
        const bool moved =
            MoveFileExW(m_queue.file.c_str(), m_queue.rolled.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
        m_queue.rolloverFailed = !moved;
        if (!moved) {
            m_queue.lostError = GetLastError();
        }
        m_queue.rolloverFailedAt = now;
        return Open() && moved;
    }

    TraceQueue& m_queue;
    const bool m_last;
    UniqueFileHandle m_file;
    uint64_t m_size = 0;
    const char* m_start = nullptr;
    const char* m_pending = nullptr;
    size_t m_pendingBytes = 0;
    uint64_t m_pendingLines = 0;
    std::atomic<size_t>* m_done = nullptr;
};

bool AnyUnreported(const TraceQueue& queue) {
    return std::any_of(std::begin(queue.unreported), std::end(queue.unreported),
                       [](uint64_t count) { return count > 0; });
}

// The batch in spare, then the count of lines that found the queue full behind
// it. Without the file's mutex (stopped, and it never came) every line is counted.
void WriteBatch(TraceQueue& queue, bool last) {
    FileMutexHold hold(queue);
    Appender out(queue, last);
    if (hold.Held()) {
        out.Open();
    }
    out.Lines(queue.spare.get(), queue.batchBytes, &queue.batchDone);
    queue.unreported[kQueueFull] += std::exchange(queue.batchDropped, 0);
    out.Notices();
}

// A log that leaves lines out for want of its file goes to the event log, at the rate the
// reporter allows, with the lines left out since its last entry. After the batch, with the
// file's mutex let go: the writer holds no lock here.
std::wstring Utf16(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                                          static_cast<int>(wide.size()));
    wide.resize(units > 0 ? static_cast<size_t>(units) : 0);
    return wide;
}

void ReportLostLines(TraceQueue& queue) {
    if (queue.lostLines == queue.lostReported) {
        return;
    }
    try {
        if (CEventLogReporter::Process().Report(Utf16(queue.device), EventKind::TraceNotWritten, queue.file,
                                                queue.lostError, queue.lostLines - queue.lostReported)) {
            queue.lostReported = queue.lostLines;
        }
    } catch (...) {
        // No memory for the name: reported with a later batch.
    }
}

void RunWriter(TraceQueue& queue) {
    CreateFolderOf(queue.file);
    for (;;) {
        HANDLE waits[] = {queue.wake.get(), queue.stop.get()};
        WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        // Once the stop is asked for, nothing more is queued: what is there is the last.
        const bool stopping = WaitForSingleObject(queue.stop.get(), 0) == WAIT_OBJECT_0;
        uint64_t taken = 0;
        {
            // The batch is taken and described in one step, so the process end
            // finds it either still queued or in spare.
            std::lock_guard hold(queue.lock);
            std::swap(queue.buffer, queue.spare);
            queue.batchBytes = std::exchange(queue.queued, 0);
            queue.batchDropped = std::exchange(queue.dropped, 0);
            queue.batchDone = 0;
            taken = queue.logged;
            queue.retryNow = queue.retryNow || std::exchange(queue.retryRollover, false);
        }
        if (queue.batchBytes > 0 || queue.batchDropped > 0 || (stopping && AnyUnreported(queue))) {
            WriteBatch(queue, stopping);
            ReportLostLines(queue);
        }
        {
            std::lock_guard hold(queue.lock);
            queue.batchBytes = 0;
            queue.finished = taken;
        }
        WakeAllConditionVariable(&queue.progress);
        if (stopping) {
            return;
        }
    }
}

// The writer's part, done by the thread ending the process once the writer is
// gone: the rest of its batch, then what is queued behind it.
void WriteWhatIsLeft(TraceQueue& queue, DWORD limitMs) {
    FileMutexHold hold(queue.fileMutex.get(), limitMs);
    if (!hold.Held()) {
        return; // another process keeps the file: nothing can be written
    }
    Appender out(queue, true);
    out.Open();
    queue.retryNow = queue.retryNow || queue.retryRollover;
    const size_t done = queue.batchDone.load(std::memory_order_relaxed);
    if (queue.batchBytes > done) {
        out.Lines(queue.spare.get() + done, queue.batchBytes - done);
    }
    queue.unreported[kQueueFull] += std::exchange(queue.batchDropped, 0);
    out.Lines(queue.buffer.get(), std::exchange(queue.queued, 0));
    queue.unreported[kQueueFull] += std::exchange(queue.dropped, 0);
    out.Notices();
}

struct WriterStart {
    HMODULE module = nullptr;
    std::shared_ptr<TraceQueue> queue;
};

// Lets go of the writer's share of the queue before the module goes.
void RunWriterAndLetGo(WriterStart* raw) noexcept {
    std::unique_ptr<WriterStart> start(raw);
    try {
        RunWriter(*start->queue);
    } catch (...) {
        // Nothing in the loop allocates; whatever it was, the writer ends.
    }
}

DWORD WINAPI WriterThread(void* param) {
    HMODULE module = static_cast<WriterStart*>(param)->module;
    RunWriterAndLetGo(static_cast<WriterStart*>(param));
    // The writer's reference on the module, taken by StartWriter, is the last
    // thing it lets go: its code stays mapped until it is out of it.
    FreeLibraryAndExitThread(module, 0);
}

// Null when the writer cannot be had: the log stays off.
std::shared_ptr<TraceQueue> StartWriter(std::wstring fullPath, std::string device, uint64_t maxBytes,
                                        UniqueHandle& thread) {
    try {
        auto queue = std::make_shared<TraceQueue>(std::move(fullPath), std::move(device), maxBytes);
        if (!queue->fileMutex) {
            return nullptr;
        }
        auto start = std::make_unique<WriterStart>();
        start->queue = queue;
        // Without UNCHANGED_REFCOUNT: a reference of the writer's own. Linked
        // into an EXE this names the EXE, which a FreeLibrary leaves loaded.
        if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                                reinterpret_cast<LPCWSTR>(&kModuleAnchor), &start->module)) {
            return nullptr;
        }
        HANDLE h = CreateThread(nullptr, 0, &WriterThread, start.get(), 0, nullptr);
        if (h == nullptr) {
            FreeLibrary(start->module);
            return nullptr;
        }
        start.release(); // the writer's now
        thread.reset(h);
        return queue;
    } catch (...) {
        return nullptr; // no memory or no events: no trace, nothing else changes
    }
}

} // namespace

// At process exit every other thread is gone; on a FreeLibrary none of this
// is needed, because each writer holds a reference on the module until it has
// ended, so the module cannot unload while a writer holds lines.
void WriteTraceLogsAtProcessExit() noexcept {
    if (!g_queuesLock.try_lock()) {
        return; // a thread ended while it linked a queue in or out
    }
    const DWORD start = GetTickCount();
    for (TraceQueue* queue = g_queues; queue != nullptr; queue = queue->nextLive) {
        if (!queue->lock.try_lock()) {
            continue; // a thread ended in Log or in the writer's swap: this queue is torn
        }
        const DWORD spent = GetTickCount() - start;
        WriteWhatIsLeft(*queue, spent < kTraceFlushLimitMs ? kTraceFlushLimitMs - spent : 0);
        queue->lock.unlock();
    }
    g_queuesLock.unlock();
}

CTraceLog::CTraceLog() = default;

CTraceLog::~CTraceLog() {
    StopWriter();
}

void CTraceLog::StopWriter() {
    m_level = kTraceOff;
    std::shared_ptr<TraceQueue> queue;
    {
        std::lock_guard hold(m_lock);
        queue = std::move(m_queue);
    }
    UniqueHandle writer = std::move(m_writer);
    if (!queue) {
        return;
    }
    queue->stopAt = GetTickCount();
    SetEvent(queue->stop.get());
    // Ended, or abandoned: then it finishes on its own share of the queue.
    WaitForSingleObject(writer.get(), kTraceFlushLimitMs);
}

void CTraceLog::Configure(const TraceSettings& settings, const std::wstring& deviceName) {
    std::string device;
    std::wstring file;
    try {
        device = Utf8(deviceName.c_str(), deviceName.size());
        if (settings.level > kTraceOff && !settings.file.empty()) {
            file = FullPathOf(settings.file);
        }
    } catch (...) {
        file.clear(); // no memory for the names: no trace, nothing else changes
    }
    // Only this thread changes m_queue, so it may read it without the lock.
    if (!file.empty() && m_queue && WaitForSingleObject(m_writer.get(), 0) == WAIT_TIMEOUT &&
        m_queue->file == file && m_queue->device == device && m_queue->maxBytes == settings.maxBytes) {
        {
            std::lock_guard hold(m_queue->lock);
            m_queue->retryRollover = true;
        }
        m_level = settings.level;
        return;
    }
    StopWriter();
    if (file.empty()) {
        return;
    }
    UniqueHandle writer;
    std::shared_ptr<TraceQueue> queue = StartWriter(std::move(file), device, settings.maxBytes, writer);
    if (!queue) {
        return;
    }
    std::lock_guard hold(m_lock);
    m_queue = std::move(queue);
    m_device = std::move(device);
    m_writer = std::move(writer);
    m_level = settings.level;
}

void CTraceLog::Log(int level, const char* format, ...) {
    if (!On(level)) {
        return;
    }
    LastErrorKeeper keep;
    char line[kLineBytes];
    std::shared_lock hold(m_lock);
    if (!m_queue) {
        return;
    }
    va_list args;
    va_start(args, format);
    const size_t length = FormatLineV(line, sizeof(line), m_device, format, args);
    va_end(args);
    if (length > 0) {
        Push(*m_queue, line, length);
    }
}

bool CTraceLog::Flush(DWORD limitMs) {
    std::shared_ptr<TraceQueue> queue;
    {
        std::shared_lock hold(m_lock);
        queue = m_queue;
    }
    if (!queue) {
        return true;
    }
    const DWORD start = GetTickCount();
    std::lock_guard hold(queue->lock);
    const uint64_t target = queue->logged;
    while (queue->finished < target) {
        const DWORD spent = GetTickCount() - start;
        if (spent >= limitMs) {
            return false;
        }
        SleepConditionVariableSRW(&queue->progress, queue->lock.native(), limitMs - spent, 0);
    }
    return true;
}

HexBytes::HexBytes(const uint8_t* bytes, size_t count) {
    static const char kDigits[] = "0123456789ABCDEF";
    char* out = m_text;
    size_t shown = count > 16 ? 16 : count;
    for (size_t i = 0; i < shown; ++i) {
        if (i != 0) {
            *out++ = ' ';
        }
        *out++ = kDigits[bytes[i] >> 4];
        *out++ = kDigits[bytes[i] & 0xF];
    }
    if (shown < count) {
        *out++ = ' ';
        *out++ = '.';
        *out++ = '.';
    }
    *out = '\0';
}

std::string CTraceLog::Utf8(const wchar_t* text, size_t length) {
    if (text == nullptr || length == 0) {
        return {};
    }
    LastErrorKeeper keep;
    int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string utf8(n > 0 ? static_cast<size_t>(n) : 0u, '\0');
    if (n > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), utf8.data(), n, nullptr, nullptr);
    }
    // UTF-8 continuation bytes are all 0x80 and above: only ASCII needs a look.
    static const char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\0':
            out += "\\0";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                out += "\\x";
                out += kDigits[byte >> 4];
                out += kDigits[byte & 0xF];
            } else {
                out += c;
            }
        }
    }
    return out;
}

} // namespace vtx
