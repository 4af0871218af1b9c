#pragma once
// drawertest's drawer test: Open, claim, enable, open the drawer and see it closed, health and
// statistics, release and close, through the Control Object on the application's thread.
#include <string>

namespace vtx::drawertest {

// Prints each step's result code and every status event as it arrives; 0 when every step
// passed, 1 when one failed, 2 when the Control Object could not be created.
int Run(const std::wstring& device);

} // namespace vtx::drawertest
