// The drawer link: opens, exchanges, commands and drops of the drawer's port, each under the
// port mutex (the rules are at the top of DrawerLink.h).
#include "device/DrawerLink.h"

#include "device/DrawerProtocol.h"
#include "device/PortNumber.h"
#include "device/PortOpener.h"
#include "device/WriteFailure.h"
#include "opos/OposConstants.h"

#include <mutex>

namespace vtx {

namespace {
constexpr DWORD kReplyPauseMs = 50;
constexpr int kReplyReads = 5;
} // namespace

CDrawerLink::CDrawerLink(CTraceLog& trace, std::atomic<long>& drawerOpened)
    : m_trace(trace), m_drawerOpened(drawerOpened), m_hPortMutex(CreateUnownedMutex()) {}

void CDrawerLink::SetTarget(const std::wstring& portName, unsigned long baudRate) {
    std::lock_guard lock(m_hPortMutex);
    m_strPortName = portName;
    m_nBaudRate = baudRate;
}

bool CDrawerLink::Open(const std::wstring& portName, unsigned long baudRate) {
    std::lock_guard lock(m_hPortMutex);
    return OpenLocked(portName, baudRate);
}

bool CDrawerLink::OpenTarget(int attempts) {
    std::lock_guard lock(m_hPortMutex);
    for (int i = 0; i < attempts; ++i) {
        if (OpenLocked(m_strPortName, m_nBaudRate)) {
            return true;
        }
    }
    return false;
}

bool CDrawerLink::OpenLocked(const std::wstring& portName, unsigned long baudRate) {
    try {
        const long number = ParsePortNumber(portName);
        // Never replace or reuse a held handle.
        if (m_serialPort.IsOpen()) {
            return false;
        }
        if (!m_serialPort.OpenConfigured(number, baudRate)) {
            m_nLastError = GetLastError();
            if (m_trace.On(kTraceFailures)) {
                const DWORD error = m_nLastError;
                m_trace.Log(kTraceFailures, "port \"%s\" (COM%ld) not opened: error %lu",
                            CTraceLog::Utf8(portName.c_str(), portName.size()).c_str(), number, error);
            }
            return false;
        }
        // Whatever path opened it, the port is no longer waiting for a reopen.
        m_bReopenPort = false;
        m_bOpen = true;
        m_trace.Log(kTraceCalls, "COM%ld opened at %lu bit/s", number, baudRate);
        return true;
    } catch (...) {
        return false;
    }
}

void CDrawerLink::Drop(const char* reason) {
    std::lock_guard lock(m_hPortMutex);
    DropLocked(reason, false);
}

void CDrawerLink::DropLocked(const char* reason, bool forReopen) {
    if (m_serialPort.IsOpen()) {
        m_serialPort.Close();
        m_bOpen = false;
        m_trace.Log(kTraceCalls, "port closed: %s", reason);
    }
    if (forReopen) {
        m_bReopenPort = true;
    }
}

bool CDrawerLink::ReopenLocked() {
    if (!m_bReopenPort) {
        return true;
    }
    m_trace.Log(kTraceCalls, "reopening the dropped port");
    return OpenLocked(m_strPortName, m_nBaudRate);
}

bool CDrawerLink::SendStatusRequest() {
    std::lock_guard lock(m_hPortMutex);
    return SendStatusRequestLocked();
}

int CDrawerLink::ReadStatusReply() {
    std::lock_guard lock(m_hPortMutex);
    return ReadStatusReplyLocked();
}

bool CDrawerLink::SendStatusRequestLocked() {
    if (m_serialPort.Write(drawer::kStatusRequest, sizeof(drawer::kStatusRequest))) {
        m_trace.Log(kTraceWire, "TX %s (status request)",
                    HexBytes(drawer::kStatusRequest, sizeof(drawer::kStatusRequest)).c_str());
        return true;
    }
    if (m_serialPort.IsOpen()) {
        m_nLastError = GetLastError();
        m_trace.Log(kTraceFailures, "status request not sent: error %lu", m_nLastError.load());
    } else {
        m_trace.Log(kTraceWire, "status request not sent: the port is not open");
    }
    return false;
}

int CDrawerLink::ReadStatusReplyLocked() {
    uint8_t buffer[drawer::kReplyReadSize];
    const long got = m_serialPort.Read(buffer, sizeof(buffer));
    if (got <= 0) {
        m_trace.Log(kTraceWire, "RX nothing%s", got < 0 ? " (read failed)" : "");
        return -1;
    }
    const int state = drawer::ClassifyStatusReply(buffer, static_cast<size_t>(got));
    if (m_trace.On(kTraceWire)) {
        static const char* const kMeaning[] = {"no status byte", "closed", "open"};
        m_trace.Log(kTraceWire, "RX %s (%s)", HexBytes(buffer, static_cast<size_t>(got)).c_str(),
                    kMeaning[state + 1]);
    }
    return state;
}

bool CDrawerLink::QueryDrawerState(bool lastKnown, bool* answered) {
    if (answered != nullptr) {
        *answered = false;
    }
    std::lock_guard lock(m_hPortMutex);
    const uint64_t exchange = ++m_nExchanges;
    // A byte that came after an earlier exchange gave up is no answer to this
    // one: a port whose input cannot be emptied is asked nothing.
    bool emptied = true;
    if (m_serialPort.IsOpen() && !m_serialPort.PurgeInput()) {
        m_nLastError = GetLastError();
        m_trace.Log(kTraceFailures, "receive buffer not emptied: error %lu", m_nLastError.load());
        emptied = false;
    }
    if (emptied && SendStatusRequestLocked()) {
        Sleep(kReplyPauseMs);
        for (int i = 0; i < kReplyReads; ++i) {
            const int reply = ReadStatusReplyLocked();
            if (reply >= 0) {
                if (answered != nullptr) {
                    *answered = true;
                }
                // Only an answer moves DrawerOpened: silence says nothing about the drawer.
                m_drawerOpened = reply;
                m_nLastAnswer = exchange;
                m_bLastAnswerOpen = reply == 1;
                return reply == 1;
            }
            Sleep(kReplyPauseMs);
        }
        m_nLastError = ERROR_TIMEOUT;
    }
    // No answer: drop the port, so the next command or poll starts with a reopen.
    if (m_serialPort.IsOpen()) {
        m_trace.Log(kTraceFailures, "no answer to the status request: port dropped, drawer taken as %s",
                    lastKnown ? "open" : "closed");
    }
    DropLocked("dropped", true);
    return lastKnown;
}

long CDrawerLink::WriteOpenCommand() {
    // One hold covers the reopen and the write: a poll that goes unanswered
    // in between would otherwise drop the port under the command.
    std::lock_guard lock(m_hPortMutex);
    if (!ReopenLocked()) {
        return opos::OPOS_E_NOHARDWARE;
    }
    if (!m_serialPort.IsOpen()) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else if (m_serialPort.Write(drawer::kOpenCommand, sizeof(drawer::kOpenCommand))) {
        m_trace.Log(kTraceWire, "TX %s (open drawer)",
                    HexBytes(drawer::kOpenCommand, sizeof(drawer::kOpenCommand)).c_str());
        return opos::OPOS_SUCCESS;
    }
    const DWORD error = GetLastError();
    m_nLastError = error;
    m_trace.Log(kTraceFailures, "open-drawer command not written: error %lu", error);
    DropLocked("write failed", true);
    return ClassifyWriteFailure(error);
}

uint64_t CDrawerLink::BeginWait() {
    // Under the mutex, so no exchange begun before this point can store its
    // answer after it.
    std::lock_guard lock(m_hPortMutex);
    m_drawerOpened = 1; // taken as open until the drawer answers otherwise
    return m_nExchanges + 1;
}

bool CDrawerLink::AnsweredClosedSince(uint64_t first, bool answered) {
    std::lock_guard lock(m_hPortMutex);
    if (!answered) {
        // A drawer that stopped answering: try for the port again.
        ReopenLocked();
    }
    return m_nLastAnswer >= first && !m_bLastAnswerOpen;
}

bool CDrawerLink::Reconnect(HANDLE stopRequest) {
    if (!m_bReopenPort) {
        return true;
    }
    long number = 0;
    unsigned long baudRate = 0;
    {
        std::lock_guard lock(m_hPortMutex);
        if (!m_bReopenPort) {
            return true;
        }
        try {
            number = ParsePortNumber(m_strPortName);
        } catch (...) {
            return false;
        }
        baudRate = m_nBaudRate;
    }
    if (number < 1 || number > 255) {
        return false;
    }
    std::shared_ptr<CPortOpener> opener = CPortOpener::Start(number, baudRate);
    if (!opener) {
        m_trace.Log(kTraceFailures, "reconnect: no opener thread: error %lu", GetLastError());
        return false;
    }
    const HANDLE waits[2] = {opener->Done(), stopRequest};
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        m_trace.Log(kTraceCalls, "reconnect: stopped while COM%ld was opening; the opener finishes alone",
                    number);
        return false;
    }
    if (!opener->Opened()) {
        m_nLastError = opener->Error();
        m_trace.Log(kTraceCalls, "reconnect: port still missing (error %lu)", opener->Error());
        return false;
    }
    std::lock_guard lock(m_hPortMutex);
    if (!m_bReopenPort || m_serialPort.IsOpen()) {
        // Another path opened it meanwhile; ours is closed with the opener.
        return m_serialPort.IsOpen();
    }
    m_serialPort.TakeFrom(opener->Port());
    m_bReopenPort = false;
    m_bOpen = true;
    m_trace.Log(kTraceCalls, "reconnect: COM%ld reopened", number);
    return true;
}

} // namespace vtx
