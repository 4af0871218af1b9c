#pragma once
// CWindowsEventLog: writes entries to the Application log under the source "VTXCashDrawer".
// Any thread; it keeps no state, so it needs no lock.
#include "trace/EventLogWriter.h"

namespace vtx {

inline constexpr wchar_t kEventSourceName[] = L"VTXCashDrawer";

class CWindowsEventLog : public IEventLogWriter {
public:
    void Write(WORD type, DWORD messageId, const wchar_t* const* strings, WORD count) noexcept override;
};

} // namespace vtx
