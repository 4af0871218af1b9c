// Formatting, appending and rolling over the trace log.
#include "trace/TraceLog.h"

#include <cstdarg>
#include <cstdio>
#include <cwctype>

namespace vtx {

namespace {

// How long a line waits for another process's append or rollover before it is dropped.
constexpr DWORD kFileMutexWaitMs = 200;
constexpr int kArchitectureBits = sizeof(void*) * 8;

// One mutex per log file, by a name every process derives alike.
std::wstring MutexNameFor(const std::wstring& file) {
    uint64_t hash = 1469598103934665603ull;
    for (wchar_t c : file) {
        hash = (hash ^ static_cast<uint64_t>(std::towlower(c))) * 1099511628211ull;
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

class SharedLock {
public:
    explicit SharedLock(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockShared(&m_lock); }
    ~SharedLock() { ReleaseSRWLockShared(&m_lock); }
    SharedLock(const SharedLock&) = delete;
    SharedLock& operator=(const SharedLock&) = delete;

private:
    SRWLOCK& m_lock;
};

} // namespace

CTraceLog::CTraceLog() = default;

CTraceLog::~CTraceLog() {
    if (m_fileMutex != nullptr) {
        CloseHandle(m_fileMutex);
    }
}

void CTraceLog::Configure(const TraceSettings& settings, const std::wstring& deviceName) {
    AcquireSRWLockExclusive(&m_lock);
    m_level = kTraceOff;
    if (m_fileMutex != nullptr) {
        CloseHandle(m_fileMutex);
        m_fileMutex = nullptr;
    }
    try {
        m_file = settings.file;
        m_rolled = settings.file + L".1";
        m_device = Utf8(deviceName.c_str(), deviceName.size());
        m_maxBytes = settings.maxBytes;
        if (settings.level > kTraceOff && !m_file.empty()) {
            CreateFolderOf(m_file);
            m_fileMutex = CreateMutexW(nullptr, FALSE, MutexNameFor(m_file).c_str());
            m_level = settings.level;
        }
    } catch (...) {
        m_level = kTraceOff; // no memory for the names: no trace, nothing else changes
    }
    ReleaseSRWLockExclusive(&m_lock);
}

void CTraceLog::Log(int level, const char* format, ...) {
    if (!On(level)) {
        return;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[1024];
    SharedLock lock(m_lock);
    int head =
        std::snprintf(line, sizeof(line), "%04u-%02u-%02u %02u:%02u:%02u.%03u %5lu %5lu %d %s ", now.wYear,
                      now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds,
                      GetCurrentProcessId(), GetCurrentThreadId(), kArchitectureBits, m_device.c_str());
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
    // A message too long for one line is cut, never split.
    size_t length = static_cast<size_t>(head) + static_cast<size_t>(body);
    if (length > sizeof(line) - 3) {
        length = sizeof(line) - 3;
    }
    line[length++] = '\r';
    line[length++] = '\n';
    Append(line, length);
}

void CTraceLog::Append(const char* line, size_t length) {
    if (m_fileMutex == nullptr) {
        return;
    }
    DWORD waited = WaitForSingleObject(m_fileMutex, kFileMutexWaitMs);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        return;
    }
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file = CreateFileW(m_file.c_str(), FILE_APPEND_DATA, share, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size{};
    if (file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &size) &&
        static_cast<uint64_t>(size.QuadPart) + length > m_maxBytes && size.QuadPart > 0) {
        CloseHandle(file);
        MoveFileExW(m_file.c_str(), m_rolled.c_str(), MOVEFILE_REPLACE_EXISTING);
        file = CreateFileW(m_file.c_str(), FILE_APPEND_DATA, share, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
        CloseHandle(file);
    }
    ReleaseMutex(m_fileMutex);
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
    int n = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0u, '\0');
    if (n > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), n, nullptr, nullptr);
    }
    return out;
}

} // namespace vtx
