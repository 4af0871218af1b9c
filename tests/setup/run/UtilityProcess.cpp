#include "UtilityProcess.h"

#include "WinePath.h"
#include "WindowDriver.h"
#include "ui/ControlIds.h"

#include <vector>

namespace vtx::setup::test {

UtilityProcess::UtilityProcess(const std::string& exe, const std::wstring& caption) {
    std::wstring command = L"\"" + vtx::test::DosPathOf(exe.c_str()) + L"\"";
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        return;
    }
    m_process.reset(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    m_id = pi.dwProcessId;
    WaitForInputIdle(pi.hProcess, static_cast<DWORD>(std::chrono::milliseconds(kGuard).count()));
    m_window = WaitForWindow(m_id, nullptr, caption);
}

UtilityProcess::~UtilityProcess() {
    if (Running()) {
        TerminateProcess(m_process.get(), 99);
        WaitForSingleObject(m_process.get(), static_cast<DWORD>(std::chrono::milliseconds(kGuard).count()));
    }
}

bool UtilityProcess::Running() const {
    return m_process && WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT;
}

bool UtilityProcess::ExitByButton() {
    if (m_window == nullptr) {
        return false;
    }
    PostClick(m_window, kCmdExit);
    return WaitForSingleObject(m_process.get(),
                               static_cast<DWORD>(std::chrono::milliseconds(kGuard).count())) ==
           WAIT_OBJECT_0;
}

} // namespace vtx::setup::test
