#pragma once
// Runs a Windows program to its end, its output collected in a file; a
// program that outlives the limit is ended by its handle.
#include <windows.h>

#include <string>

namespace vtx::test {

struct ProgramRun {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = ~0u;
    std::string output;
};

ProgramRun RunProgram(const std::wstring& commandLine, DWORD limitMs);
// regsvr32 /s (with /u to unregister) on a DLL given by its Windows path.
ProgramRun RunRegsvr32(const std::wstring& dll, bool unregister, DWORD limitMs = 60000);
std::wstring Quoted(const std::wstring& text);

} // namespace vtx::test
