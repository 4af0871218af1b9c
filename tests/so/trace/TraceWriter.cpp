// Appends numbered lines to a trace log, so a test can run several writers at once.
//   tracewriter FILE COUNT TAG
#include "trace/TraceLog.h"

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        return 2;
    }
    vtx::TraceSettings settings;
    settings.level = vtx::kTraceWire;
    settings.file = argv[1];
    settings.maxBytes = 64ull * 1024 * 1024;
    vtx::CTraceLog log;
    log.Configure(settings, argv[3]);
    const long count = std::wcstol(argv[2], nullptr, 10);
    // Long enough that a torn append would show.
    const std::string padding(200, '.');
    for (long i = 0; i < count; ++i) {
        log.Log(vtx::kTraceFailures, "line %ld %s end", i, padding.c_str());
        log.Flush(60000); // one append per line, as many chances to tear one as there are
    }
    return 0;
}
