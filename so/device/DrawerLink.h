#pragma once
// CDrawerLink: the drawer's serial port and what must agree with it. The application's thread
// (claim, enable, commands, the wait) and the status monitor share it; every member is under the
// port mutex, and the atomics are also read without it by code that only looks.
//
// The rules it keeps, each in one place:
// - an open either finishes setting up the port (line settings, capped write limit) or leaves
//   it closed; a held handle is never replaced;
// - m_bReopenPort is set only together with closing the port, and cleared by every open that
//   succeeds, so a port waiting for a reopen is never written to;
// - the receive buffer is emptied before each status request, so a late byte of an earlier
//   exchange is never read as the answer to a new one;
// - exchanges are numbered under the mutex, and only an answer stores DrawerOpened, with the
//   number and verdict of the exchange it answered: a wait trusts only exchanges numbered
//   from its start;
// - the monitor's reopen opens the port on an opener thread of its own, outside the mutex,
//   so that no stop ever waits for the system to open a COM port.
// Protocol model: so/device/models/drawer_link.pml.
#include "device/SerialPort.h"
#include "trace/TraceLog.h"
#include "win32/UniqueHandle.h"

#include <atomic>
#include <cstdint>
#include <string>

namespace vtx {

class CDrawerLink {
public:
    // drawerOpened is the property the exchanges store their answers in.
    CDrawerLink(CTraceLog& trace, std::atomic<long>& drawerOpened);
    CDrawerLink(const CDrawerLink&) = delete;
    CDrawerLink& operator=(const CDrawerLink&) = delete;

    // Where reopens and OpenTarget go. Set while no worker runs (OpenService).
    void SetTarget(const std::wstring& portName, unsigned long baudRate);

    // One attempt to open and set up portName. False when a port is held already.
    bool Open(const std::wstring& portName, unsigned long baudRate);
    // Up to `attempts` opens of the target, back to back under one hold of the mutex
    // (enabling makes five; a claim makes one per attempt).
    bool OpenTarget(int attempts);
    // Closes the port, if open, and says why in the trace.
    void Drop(const char* reason);

    // One status exchange. An answer is stored in DrawerOpened; without one the
    // port is dropped for a reopen, nothing is stored and lastKnown comes back.
    // *answered tells which happened.
    bool QueryDrawerState(bool lastKnown, bool* answered = nullptr);
    // The two raw halves of an exchange, for tools and tests.
    bool SendStatusRequest();
    int ReadStatusReply();

    // The open-drawer command: a dropped port is reopened first, in the same hold
    // of the mutex as the write. The OPOS result code.
    long WriteOpenCommand();

    // The start of a wait: DrawerOpened is taken as open, and the number of the
    // first exchange the wait may trust comes back.
    uint64_t BeginWait();
    // After one of the wait's polls: reopens a port the poll dropped, and tells
    // whether the drawer answered "closed" to an exchange numbered from `first`.
    bool AnsweredClosedSince(uint64_t first, bool answered);

    // The monitor's reopen of a dropped port. Returns early, leaving the opener to
    // finish on its own, when stopRequest is signalled. True when the port is usable.
    bool Reconnect(HANDLE stopRequest);

    bool IsOpen() const { return m_bOpen.load(); }
    // The Windows error of the latest open, write or exchange that failed
    // (ERROR_TIMEOUT for a drawer that did not answer), for the event log.
    DWORD LastError() const { return m_nLastError.load(); }
    bool ReopenPending() const { return m_bReopenPort.load(); }

private:
    bool OpenLocked(const std::wstring& portName, unsigned long baudRate);
    // A dropped port reopened; true when the port is usable.
    bool ReopenLocked();
    void DropLocked(const char* reason, bool forReopen);
    bool SendStatusRequestLocked();
    int ReadStatusReplyLocked();

    CTraceLog& m_trace;
    std::atomic<long>& m_drawerOpened;
    KernelMutex m_hPortMutex;
    CSerialPort m_serialPort;
    std::wstring m_strPortName;
    unsigned long m_nBaudRate = 9600;
    // Set only with a drop, cleared by every open that succeeds.
    std::atomic<bool> m_bReopenPort{false};
    // m_serialPort.IsOpen(), for readers without the mutex.
    std::atomic<bool> m_bOpen{false};
    std::atomic<DWORD> m_nLastError{0};
    // Exchanges begun so far, and the latest one the drawer answered, with what it said.
    uint64_t m_nExchanges = 0;
    uint64_t m_nLastAnswer = 0;
    bool m_bLastAnswerOpen = false;
};

} // namespace vtx
