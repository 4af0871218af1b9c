#pragma once
// IEventLogWriter: where the event log reporter's entries go. The system's Application log in the
// product (CWindowsEventLog); a recorder in the tests. Called on any thread, never under a lock of
// the driver's.
#include <windows.h>

namespace vtx {

class IEventLogWriter {
public:
    virtual ~IEventLogWriter() = default;
    // type is EVENTLOG_ERROR_TYPE or EVENTLOG_WARNING_TYPE; messageId one of EventMessages.h.
    virtual void Write(WORD type, DWORD messageId, const wchar_t* const* strings, WORD count) noexcept = 0;
};

} // namespace vtx
