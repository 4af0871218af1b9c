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
            return false;
        }
        if (!m_serialPort.SetTimeouts()) {
            return false;
        }
        // Whatever path opened it, the port is no longer waiting for a reopen.
        m_bReopenPort = false;
        return true;
    } catch (...) {
        return false;
    }
}

bool CCashDrawer::SendStatusRequest() {
    return m_serialPort.Write(drawer::kStatusRequest, sizeof(drawer::kStatusRequest));
}

int CCashDrawer::ReadStatusReply() {
    uint8_t buffer[drawer::kReplyReadSize];
    long got = m_serialPort.Read(buffer, sizeof(buffer));
    if (got <= 0) {
        return -1;
    }
    return drawer::ClassifyStatusReply(buffer, static_cast<size_t>(got));
}

} // namespace vtx
