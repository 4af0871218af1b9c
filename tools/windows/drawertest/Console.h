#pragma once
// drawertest's console output and text conversions. Line is called by the application's thread
// only (the probe's watchdog prints through CheckReport, never through Line).
#include <windows.h>

#include <string>
#include <string_view>

namespace vtx::drawertest {

// One line on stdout, flushed; nothing while quiet.
void Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The probe's --json output is its one line: the steps are not printed then.
void SetQuiet(bool quiet);

std::string Narrow(std::wstring_view text);
std::string GuidText(REFGUID guid);

} // namespace vtx::drawertest
