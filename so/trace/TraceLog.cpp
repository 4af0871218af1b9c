// Formatting trace lines, queueing them, and the writer thread that appends
// them and rolls the file over. Log and Flush run on any thread; Configure
// and the destructor on the Control Object's; everything from "The writer"
// down runs on the writer thread only (the protocol is in TraceLog.h).
//
// One writer per traced log rather than one per process: a log on a slow or
// dead share then holds up its own device's lines only, stopping a writer
// needs no bookkeeping shared between devices, and nothing runs while tracing
// is off, which is the usual case.
#include "trace/TraceLog.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
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

class LastErrorKeeper {
public:
    LastErrorKeeper() : m_error(GetLastError()) {}
    ~LastErrorKeeper() { SetLastError(m_error); }
    LastErrorKeeper(const LastErrorKeeper&) = delete;
    LastErrorKeeper& operator=(const LastErrorKeeper&) = delete;

private:
    DWORD m_error;
};

class SharedLock {
public:
    explicit SharedLock(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockShared(&m_lock); }
    ~SharedLock() { ReleaseSRWLockShared(&m_lock); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

private:
    SRWLOCK& m_lock;
};

class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&m_lock); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;

private:
    SRWLOCK& m_lock;
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

} // namespace

std::wstring TraceMutexName(const std::wstring& file) {
    return MutexNameOfFullPath(FullPathOf(file));
}

// Shared by one log and its writer; whichever lets go last frees it.
struct TraceQueue {
    TraceQueue(std::wstring fullPath, std::string deviceName, uint64_t cap)
        : file(std::move(fullPath)), rolled(file + L".1"), device(std::move(deviceName)), maxBytes(cap),
          fileMutex(CreateMutexW(nullptr, FALSE, MutexNameOfFullPath(file).c_str())),
          wake(CreateAutoResetEvent()), stop(CreateManualResetEvent()), buffer(new char[kQueueBytes]),
          spare(new char[kQueueBytes]) {}

    // Fixed before the writer starts.
    const std::wstring file;
    const std::wstring rolled;
    const std::string device;
    const uint64_t maxBytes;
    const UniqueHandle fileMutex;
    const UniqueHandle wake; // auto-reset: the queue went from empty to not
    const UniqueHandle stop; // manual-reset: write what is queued, then end
    std::atomic<DWORD> stopAt{0};

    // Guarded by lock.
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE progress = CONDITION_VARIABLE_INIT; // the writer finished a batch
    std::unique_ptr<char[]> buffer;
    size_t queued = 0;
    uint64_t dropped = 0;  // lines that found the queue full, not yet reported
    uint64_t logged = 0;   // lines queued or dropped, ever
    uint64_t finished = 0; // of those, the lines the writer is done with
    bool retryRollover = false;

    // The writer's alone (spare is swapped with buffer under lock).
    std::unique_ptr<char[]> spare;
    bool retryNow = false;
    bool rolloverFailed = false;
    DWORD rolloverFailedAt = 0;
    uint64_t droppedAtCap = 0; // lines dropped since, not yet reported
};

namespace {

void Push(TraceQueue& queue, const char* line, size_t length) {
    bool wasEmpty = false;
    {
        ExclusiveLock hold(queue.lock);
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

// "<count> lines dropped: <why>" as a line of the writer's own.
size_t FormatDropped(char (&out)[256], const TraceQueue& queue, uint64_t count, const char* why) {
    int head = FormatHead(out, sizeof(out), queue.device);
    if (head < 0 || static_cast<size_t>(head) >= sizeof(out)) {
        return 0;
    }
    int body = std::snprintf(out + head, sizeof(out) - static_cast<size_t>(head),
                             "%llu lines dropped: %s\r\n", static_cast<unsigned long long>(count), why);
    if (body < 0 || static_cast<size_t>(head + body) >= sizeof(out)) {
        return 0;
    }
    return static_cast<size_t>(head + body);
}

// Holds the log's named mutex for a scope. Until a stop is asked for it waits
// as long as it takes; after, only until the abandoned writer's time is up.
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
// consecutive lines go out in one write.
class Appender {
public:
    explicit Appender(TraceQueue& queue) : m_queue(queue) {}

    bool Open() {
        const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        m_file.reset(CreateFileW(m_queue.file.c_str(), FILE_APPEND_DATA, share, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        LARGE_INTEGER size{};
        if (!m_file || !GetFileSizeEx(m_file.get(), &size)) {
            m_file.reset();
            return false;
        }
        m_size = static_cast<uint64_t>(size.QuadPart);
        return true;
    }

    // Lines, each ending in LF, from one buffer.
    void Lines(const char* data, size_t length) {
        m_pending = data;
        m_pendingBytes = 0;
        for (size_t at = 0; at < length && m_file;) {
            const void* lf = std::memchr(data + at, '\n', length - at);
            size_t end =
                lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - data) + 1 : length;
            Line(end - at);
            at = end;
        }
        Write();
    }

private:
    // The next line, the one right after those pending.
    void Line(size_t length) {
        if (m_size + m_pendingBytes + length > m_queue.maxBytes && m_size + m_pendingBytes > 0) {
            Write();
            if (!RollOver() && m_file && m_size + length > kFailedRolloverGrowth * m_queue.maxBytes) {
                ++m_queue.droppedAtCap;
                m_pending += length;
                return;
            }
        }
        m_pendingBytes += length;
    }

    void Write() {
        if (m_pendingBytes > 0 && m_file) {
            DWORD written = 0;
            WriteFile(m_file.get(), m_pending, static_cast<DWORD>(m_pendingBytes), &written, nullptr);
            m_size += written;
        }
        m_pending += m_pendingBytes;
        m_pendingBytes = 0;
    }

    // True when the file now starts afresh. Tried again only after a pause or
    // a Configure, so a locked "<file>.1" costs a rename per few seconds, not per line.
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
        m_queue.rolloverFailedAt = now;
        if (!Open()) {
            return false;
        }
        if (moved && m_queue.droppedAtCap > 0) {
            char notice[256];
            size_t length =
                FormatDropped(notice, m_queue, m_queue.droppedAtCap, "the log could not roll over");
            DWORD written = 0;
            WriteFile(m_file.get(), notice, static_cast<DWORD>(length), &written, nullptr);
            m_size += written;
            m_queue.droppedAtCap = 0;
        }
        return moved;
    }

    TraceQueue& m_queue;
    UniqueFileHandle m_file;
    uint64_t m_size = 0;
    const char* m_pending = nullptr;
    size_t m_pendingBytes = 0;
};

void WriteBatch(TraceQueue& queue, const char* lines, size_t length, uint64_t dropped) {
    FileMutexHold hold(queue);
    if (!hold.Held()) {
        return; // stopped, and the file's mutex never came: the lines are lost
    }
    Appender out(queue);
    if (!out.Open()) {
        return; // an unwritable file loses its lines, as it always did
    }
    out.Lines(lines, length);
    if (dropped > 0) {
        char notice[256];
        out.Lines(notice, FormatDropped(notice, queue, dropped, "the trace queue was full"));
    }
}

void RunWriter(TraceQueue& queue) {
    CreateFolderOf(queue.file);
    for (;;) {
        HANDLE waits[] = {queue.wake.get(), queue.stop.get()};
        WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        // Once the stop is asked for, nothing more is queued: what is there is the last.
        const bool stopping = WaitForSingleObject(queue.stop.get(), 0) == WAIT_OBJECT_0;
        size_t length = 0;
        uint64_t dropped = 0;
        uint64_t taken = 0;
        {
            ExclusiveLock hold(queue.lock);
            std::swap(queue.buffer, queue.spare);
            length = std::exchange(queue.queued, 0);
            dropped = std::exchange(queue.dropped, 0);
            taken = queue.logged;
            queue.retryNow = queue.retryNow || std::exchange(queue.retryRollover, false);
        }
        if (length > 0 || dropped > 0) {
            WriteBatch(queue, queue.spare.get(), length, dropped);
        }
        {
            ExclusiveLock hold(queue.lock);
            queue.finished = taken;
        }
        WakeAllConditionVariable(&queue.progress);
        if (stopping) {
            return;
        }
    }
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

CTraceLog::CTraceLog() = default;

CTraceLog::~CTraceLog() {
    StopWriter();
}

void CTraceLog::StopWriter() {
    m_level = kTraceOff;
    std::shared_ptr<TraceQueue> queue;
    {
        ExclusiveLock hold(m_lock);
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
            ExclusiveLock hold(m_queue->lock);
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
    ExclusiveLock hold(m_lock);
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
    SharedLock hold(m_lock);
    if (!m_queue) {
        return;
    }
    int head = FormatHead(line, sizeof(line), m_device);
    if (head < 0 || static_cast<size_t>(head) >= sizeof(line) - 3) {
        return;
    }
    va_list args;
    va_start(args, format);
    int body = std::vsnprintf(line + head, sizeof(line) - static_cast<size_t>(head) - 2, format, args);
    va_end(args);
    if (body < 0) {
        return;
    }
    size_t length = static_cast<size_t>(head) + static_cast<size_t>(body);
    if (length > sizeof(line) - 3) {
        length = sizeof(line) - 3;
    }
    line[length++] = '\r';
    line[length++] = '\n';
    Push(*m_queue, line, length);
}

bool CTraceLog::Flush(DWORD limitMs) {
    std::shared_ptr<TraceQueue> queue;
    {
        SharedLock hold(m_lock);
        queue = m_queue;
    }
    if (!queue) {
        return true;
    }
    const DWORD start = GetTickCount();
    ExclusiveLock hold(queue->lock);
    const uint64_t target = queue->logged;
    while (queue->finished < target) {
        const DWORD spent = GetTickCount() - start;
        if (spent >= limitMs) {
            return false;
        }
        SleepConditionVariableSRW(&queue->progress, &queue->lock, limitMs - spent, 0);
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
