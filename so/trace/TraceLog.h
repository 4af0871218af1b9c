#pragma once
// A device's trace log: plain text lines, each appended whole with one write,
// so several processes (32- and 64-bit alike) and devices may share a file.
//
// Threads: Configure runs on the Control Object's thread while no worker of
// the device runs; Log may be called from any thread at any time.
#include "trace/TraceSettings.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

namespace vtx {

// "1D 1B 0F 0C": up to 16 bytes for a line, without allocating (workers log bytes).
class HexBytes {
public:
    HexBytes(const uint8_t* bytes, size_t count);
    const char* c_str() const { return m_text; }

private:
    char m_text[16 * 3 + 4];
};

class CTraceLog {
public:
    CTraceLog();
    ~CTraceLog();
    CTraceLog(const CTraceLog&) = delete;
    CTraceLog& operator=(const CTraceLog&) = delete;

    // Takes the settings for the named device; creates the log's folder when missing.
    void Configure(const TraceSettings& settings, const std::wstring& deviceName);

    // Cheap enough to ask before building a message's arguments.
    bool On(int level) const { return m_level.load(std::memory_order_relaxed) >= level; }

    // printf-style; nothing is formatted unless the level is on. Never fails
    // and never waits longer than one append: a line that cannot be written
    // is dropped.
    void Log(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));

    // UTF-8 of a wide string, for a line. May throw std::bad_alloc.
    static std::string Utf8(const wchar_t* text, size_t length);

private:
    void Append(const char* line, size_t length);

    std::atomic<int> m_level{kTraceOff};
    // Guarded by m_lock: shared to write lines, exclusive to reconfigure.
    SRWLOCK m_lock = SRWLOCK_INIT;
    std::wstring m_file;
    std::wstring m_rolled;
    std::string m_device;
    uint64_t m_maxBytes = 0;
    HANDLE m_fileMutex = nullptr; // named after the file: serialises rollover across processes
};

} // namespace vtx
