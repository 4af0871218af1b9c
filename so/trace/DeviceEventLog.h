#pragma once
// CDeviceEventLog: one device's faults for the Application log, handed down from the service object
// to the drawer link's users and the workers' stops, so that the lower layers report without
// knowing the service object. Configure runs on the application's thread while no worker
// runs (Open); the reports run on the thread that met the fault, never under the port mutex.
#include "trace/EventLogReporter.h"

#include <string>

namespace vtx {

class CDeviceEventLog {
public:
    explicit CDeviceEventLog(CEventLogReporter& reporter = CEventLogReporter::Process())
        : m_reporter(reporter) {}

    // The device, its port and its "EventLog" switch, at each Open.
    void Configure(const std::wstring& device, const std::wstring& port, bool enabled);

    // Every poll of the status monitor: the drawer stopped answering (with the error
    // that went with it), or answers again.
    void PollResult(bool answered, DWORD error);
    void CommandFailed(long resultCode, DWORD error);
    void WaitGaveUp(DWORD silentMs, DWORD error);
    void WorkerForced(const char* worker, DWORD limitMs);

private:
    CEventLogReporter& m_reporter;
    std::wstring m_device;
    std::wstring m_port;
};

} // namespace vtx
