// The Application log through RegisterEventSourceW and ReportEventW. Any thread.
#include "trace/WindowsEventLog.h"

namespace vtx {

void CWindowsEventLog::Write(WORD type, DWORD messageId, const wchar_t* const* strings, WORD count) noexcept {
    // A handle per entry: entries are a few per device per ten minutes, and a handle
    // kept until the module unloads would be let go inside DllMain, where the
    // event log service's RPC must not be called.
    HANDLE source = RegisterEventSourceW(nullptr, kEventSourceName);
    if (source == nullptr) {
        return; // no event log: the driver works on without it
    }
    ReportEventW(source, type, 0, messageId, nullptr, count, 0, const_cast<LPCWSTR*>(strings), nullptr);
    DeregisterEventSource(source);
}

} // namespace vtx
