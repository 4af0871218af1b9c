#pragma once
// The system calls that open and set up the drawer's port, behind a seam so tests can make
// one fail or stall. Any thread may call them; the seam is swapped atomically.
#include <windows.h>

namespace vtx {

class IPortApi {
public:
    virtual ~IPortApi() = default;
    // CreateFileW for exclusive synchronous read and write of an existing device.
    virtual HANDLE Open(const wchar_t* path) = 0;
    virtual BOOL GetState(HANDLE port, DCB* dcb) = 0;
    virtual BOOL SetState(HANDLE port, DCB* dcb) = 0;
    virtual BOOL GetTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) = 0;
    virtual BOOL SetTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) = 0;
    virtual BOOL Purge(HANDLE port, DWORD flags) = 0;
};

// The system's calls, or the stand-in a test has installed.
IPortApi& PortApi();
// Replaces the system's calls for this process; null puts them back.
void SetPortApiForTesting(IPortApi* api);

// The system's calls, for a stand-in that changes only some of them.
class SystemPortApi : public IPortApi {
public:
    HANDLE Open(const wchar_t* path) override {
        return CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    BOOL GetState(HANDLE port, DCB* dcb) override { return GetCommState(port, dcb); }
    BOOL SetState(HANDLE port, DCB* dcb) override { return SetCommState(port, dcb); }
    BOOL GetTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) override { return GetCommTimeouts(port, timeouts); }
    BOOL SetTimeouts(HANDLE port, COMMTIMEOUTS* timeouts) override { return SetCommTimeouts(port, timeouts); }
    BOOL Purge(HANDLE port, DWORD flags) override { return PurgeComm(port, flags); }
};

} // namespace vtx
