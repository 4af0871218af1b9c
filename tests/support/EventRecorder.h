#pragma once
// Records the process's event log entries instead of writing them, while it lives. Read them only
// once the thread that wrote them has stopped or been waited for (a monitor's stop, a log's Flush).
#include "trace/EventLogReporter.h"

#include <string>
#include <vector>

namespace vtx::test {

struct EventRecorder : IEventLogWriter {
    EventRecorder() : previous(CEventLogReporter::Process().ReplaceWriter(this)) {}
    ~EventRecorder() override { CEventLogReporter::Process().ReplaceWriter(previous); }
    void Write(WORD type, DWORD id, const wchar_t* const* text, WORD count) noexcept override {
        types.push_back(type), ids.push_back(id), strings.emplace_back(text, text + count);
    }
    IEventLogWriter* previous;
    std::vector<WORD> types;
    std::vector<DWORD> ids;
    std::vector<std::vector<std::wstring>> strings;
};

} // namespace vtx::test
