#include "ChildProcess.h"

#include "win32/UniqueHandle.h"

#include <vector>

namespace vtx::test {

namespace {
UniqueFileHandle TemporaryOutputFile() {
    wchar_t dir[MAX_PATH];
    wchar_t path[MAX_PATH];
    if (GetTempPathW(MAX_PATH, dir) == 0 || GetTempFileNameW(dir, L"vtx", 0, path) == 0) {
        return {};
    }
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    return UniqueFileHandle(CreateFileW(path, GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}
} // namespace

std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

ProgramRun RunProgram(const std::wstring& commandLine, DWORD limitMs) {
    ProgramRun run;
    UniqueFileHandle output = TemporaryOutputFile();
    if (!output) {
        return run;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
    PROCESS_INFORMATION info{};
    std::wstring mutableLine = commandLine;
    if (!CreateProcessW(nullptr, mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info)) {
        return run;
    }
    UniqueHandle process(info.hProcess);
    UniqueHandle thread(info.hThread);
    run.started = true;
    if (WaitForSingleObject(process.get(), limitMs) != WAIT_OBJECT_0) {
        run.timedOut = true;
        TerminateProcess(process.get(), 1);
        WaitForSingleObject(process.get(), 10000);
    }
    GetExitCodeProcess(process.get(), &run.exitCode);

    SetFilePointer(output.get(), 0, nullptr, FILE_BEGIN);
    std::vector<char> buffer(4096);
    DWORD got = 0;
    while (ReadFile(output.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) &&
           got > 0) {
        run.output.append(buffer.data(), got);
    }
    return run;
}

ProgramRun RunRegsvr32(const std::wstring& dll, bool unregister, DWORD limitMs) {
    return RunProgram(std::wstring(L"regsvr32.exe /s ") + (unregister ? L"/u " : L"") + Quoted(dll), limitMs);
}

} // namespace vtx::test
