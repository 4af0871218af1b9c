#pragma once
// Starts a build of the utility, finds its main window and ends the process
// again: by its Exit button when asked, else (and always at the end) by its
// handle.
#include "win32/UniqueHandle.h"

#include <windows.h>

#include <string>

namespace vtx::setup::test {

class UtilityProcess {
public:
    // exe: the program's Unix path as the build knows it.
    UtilityProcess(const std::string& exe, const std::wstring& caption);
    ~UtilityProcess();
    UtilityProcess(const UtilityProcess&) = delete;
    UtilityProcess& operator=(const UtilityProcess&) = delete;

    // The main window, or null when it did not appear in time.
    HWND Window() const { return m_window; }
    DWORD Id() const { return m_id; }
    bool Running() const;
    // Clicks Exit and waits for the process to end.
    bool ExitByButton();

private:
    UniqueHandle m_process;
    DWORD m_id = 0;
    HWND m_window = nullptr;
};

} // namespace vtx::setup::test
