// Which faults reach the Application log, per device and kind, and their entries' text. Any
// thread; the decision is made under m_lock, the entry written outside it.
#include "trace/EventLogReporter.h"

#include "EventMessages.h"
#include "trace/WindowsEventLog.h"

#include <cwchar>
#include <mutex>
#include <utility>

namespace vtx {

namespace {

constexpr DWORD kMessages[static_cast<int>(EventKind::Count)] = {MSG_DRAWER_LOST,       MSG_DRAWER_BACK,
                                                                 MSG_COMMAND_FAILED,    MSG_WAIT_GAVE_UP,
                                                                 MSG_TRACE_NOT_WRITTEN, MSG_WORKER_FORCED};

// The message table's severity bits say which kind of entry it is.
WORD EntryType(DWORD messageId) {
    return (messageId >> 30) == 3 ? EVENTLOG_ERROR_TYPE : EVENTLOG_WARNING_TYPE;
}

} // namespace

CEventLogReporter::CEventLogReporter(IEventLogWriter& writer, Clock clock)
    : m_writer(&writer), m_clock(clock) {}

CEventLogReporter& CEventLogReporter::Process() {
    static CWindowsEventLog applicationLog;
    static CEventLogReporter reporter(applicationLog, [] { return GetTickCount64(); });
    return reporter;
}

void CEventLogReporter::SetEnabled(const std::wstring& device, bool enabled) noexcept {
    try {
        std::lock_guard hold(m_lock);
        m_devices[device].enabled = enabled;
    } catch (...) {
        // No memory for the device's history: it keeps the default.
    }
}

bool CEventLogReporter::Decide(DeviceHistory& device, EventKind kind, unsigned long* leftOut) {
    KindHistory& history = device.kinds[static_cast<int>(kind)];
    const ULONGLONG now = m_clock();
    const bool windowOver = !history.written || now - history.writtenAt >= kWindowMs;
    bool write = windowOver;
    if (kind == EventKind::DrawerLost) {
        if (std::exchange(device.lost, true)) {
            return false; // still lost: the same fault, not another one
        }
        device.lostWritten = windowOver;
    } else if (kind == EventKind::DrawerBack) {
        if (!std::exchange(device.lost, false)) {
            return false; // answering all along: normal operation
        }
        // "back" pairs with its "lost": a lost that was left out takes its back with it.
        write = std::exchange(device.lostWritten, false);
    }
    if (!write) {
        ++history.leftOut;
        return false;
    }
    history.written = true;
    history.writtenAt = now;
    *leftOut = std::exchange(history.leftOut, 0);
    return true;
}

bool CEventLogReporter::Report(const std::wstring& device, EventKind kind, const std::wstring& subject,
                               DWORD error, unsigned long long number) noexcept {
    try {
        unsigned long leftOut = 0;
        {
            std::lock_guard hold(m_lock);
            DeviceHistory& history = m_devices[device];
            if (!history.enabled || !Decide(history, kind, &leftOut)) {
                return false;
            }
        }
        wchar_t errorText[16];
        wchar_t numberText[24];
        wchar_t note[128] = L"";
        swprintf(errorText, std::size(errorText), L"%lu", error);
        swprintf(numberText, std::size(numberText), L"%llu", number);
        if (leftOut > 0) {
            swprintf(note, std::size(note), L" %lu more like this were left out in the %llu minutes before.",
                     leftOut, kWindowMs / 60000);
        }
        const wchar_t* strings[] = {device.c_str(), subject.c_str(), errorText, numberText, note};
        const DWORD messageId = kMessages[static_cast<int>(kind)];
        m_writer.load()->Write(EntryType(messageId), messageId, strings,
                               static_cast<WORD>(std::size(strings)));
        return true;
    } catch (...) {
        return false; // no memory for the history: this fault goes unwritten
    }
}

IEventLogWriter* CEventLogReporter::ReplaceWriter(IEventLogWriter* writer) noexcept {
    std::lock_guard hold(m_lock);
    m_devices.clear();
    return m_writer.exchange(writer);
}

} // namespace vtx
