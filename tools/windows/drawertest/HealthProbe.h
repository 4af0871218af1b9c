#pragma once
// drawertest --check: the health probe a monitoring job runs. The application's thread runs it;
// its watchdog thread touches nothing but the result.
#include <string>

namespace vtx::drawertest {

// Never claims the device and never sends the open command: enables it with PowerNotify on and
// waits for the first PowerState the drawer's answer (or silence) gives. Prints one summary line
// (one JSON object with json) and returns its exit code, within 5 s whatever happens.
int Check(const std::wstring& device, bool json);

} // namespace vtx::drawertest
