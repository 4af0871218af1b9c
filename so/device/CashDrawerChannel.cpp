// The service object's side of the serial channel: opening the drawer's port
// and the two raw halves of a status exchange. Callers hold the port mutex.
#include "service/CashDrawer.h"

#include "device/DrawerProtocol.h"
#include "device/PortNumber.h"

namespace vtx {

bool CCashDrawer::OpenPort(const std::wstring& portName, unsigned long baudRate) {
    try {
        long number = ParsePortNumber(portName);
        // Never replace or reuse a held handle.
        if (m_serialPort.IsOpen()) {
            return false;
        }
        if (!m_serialPort.Open(number, baudRate)) {
            if (m_trace.On(kTraceFailures)) {
                DWORD error = GetLastError();
                m_trace.Log(kTraceFailures, "port \"%s\" (COM%ld) not opened: error %lu",
                            CTraceLog::Utf8(portName.c_str(), portName.size()).c_str(), number, error);
            }
            return false;
        }
        if (!m_serialPort.SetTimeouts()) {
            m_trace.Log(kTraceFailures, "COM%ld opened but its time-outs not set: error %lu", number,
                        GetLastError());
            return false;
        }
        // Whatever path opened it, the port is no longer waiting for a reopen.
        m_bReopenPort = false;
        m_trace.Log(kTraceCalls, "COM%ld opened at %lu bit/s", number, baudRate);
        return true;
    } catch (...) {
        return false;
    }
}

bool CCashDrawer::SendStatusRequest() {
    if (m_serialPort.Write(drawer::kStatusRequest, sizeof(drawer::kStatusRequest))) {
        m_trace.Log(kTraceWire, "TX %s (status request)",
                    HexBytes(drawer::kStatusRequest, sizeof(drawer::kStatusRequest)).c_str());
        return true;
    }
    if (m_serialPort.IsOpen()) {
        m_trace.Log(kTraceFailures, "status request not sent: error %lu", GetLastError());
    } else {
        m_trace.Log(kTraceWire, "status request not sent: the port is not open");
    }
    return false;
}

int CCashDrawer::ReadStatusReply() {
    uint8_t buffer[drawer::kReplyReadSize];
    long got = m_serialPort.Read(buffer, sizeof(buffer));
    if (got <= 0) {
        m_trace.Log(kTraceWire, "RX nothing%s", got < 0 ? " (read failed)" : "");
        return -1;
    }
    int state = drawer::ClassifyStatusReply(buffer, static_cast<size_t>(got));
    if (m_trace.On(kTraceWire)) {
        static const char* const kMeaning[] = {"no status byte", "closed", "open"};
        m_trace.Log(kTraceWire, "RX %s (%s)", HexBytes(buffer, static_cast<size_t>(got)).c_str(),
                    kMeaning[state + 1]);
    }
    return state;
}

} // namespace vtx
