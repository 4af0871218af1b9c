// One device's faults, as the reporter's entries. See DeviceEventLog.h for the threads.
#include "trace/DeviceEventLog.h"

#include <cstring>

namespace vtx {

void CDeviceEventLog::Configure(const std::wstring& device, const std::wstring& port, bool enabled) {
    m_device = device;
    m_port = port.empty() ? L"(no port set)" : port;
    m_reporter.SetEnabled(device, enabled);
}

void CDeviceEventLog::PollResult(bool answered, DWORD error) {
    m_reporter.Report(m_device, answered ? EventKind::DrawerBack : EventKind::DrawerLost, m_port, error, 0);
}

void CDeviceEventLog::CommandFailed(long resultCode, DWORD error) {
    m_reporter.Report(m_device, EventKind::CommandFailed, m_port, error,
                      static_cast<unsigned long long>(resultCode));
}

void CDeviceEventLog::WaitGaveUp(DWORD silentMs, DWORD error) {
    m_reporter.Report(m_device, EventKind::WaitGaveUp, m_port, error, silentMs);
}

void CDeviceEventLog::WorkerForced(const char* worker, DWORD limitMs) {
    try {
        const std::wstring name(worker, worker + strlen(worker)); // ASCII names of our own
        m_reporter.Report(m_device, EventKind::WorkerForced, name, 0, limitMs);
    } catch (...) {
        // No memory for the name: this one goes unwritten.
    }
}

} // namespace vtx
