#pragma once
// Client for the virtual drawer's control channel (a line protocol on a
// loopback TCP port). The harness exports the port and the drawer's COM
// number as VDRAWER_CONTROL_PORT and VDRAWER_COM; a program that drives
// several drawers names each one's port and COM number itself.
#include <winsock2.h>

#include <string>

namespace vtx::test {

class VirtualDrawer {
public:
    VirtualDrawer();
    VirtualDrawer(int controlPort, int comNumber);
    ~VirtualDrawer();
    VirtualDrawer(const VirtualDrawer&) = delete;
    VirtualDrawer& operator=(const VirtualDrawer&) = delete;

    // Sends one command and returns the reply line ("OK ..." / "ERR ...").
    std::string Command(const std::string& line);
    // Sends a command and fails the test unless the reply starts with OK.
    std::string Expect(const std::string& line);

    void Reset() { Expect("RESET"); }
    // Bytes received from the driver since the last call, as "1D 1B 0F 0C".
    std::string Received();
    bool IsOpen() { return Expect("STATE") == "OK OPEN"; }
    // Whether a program has the drawer's port open.
    bool LineHeld() { return Expect("LINE") == "OK HELD"; }

    int ComNumber() const { return m_com; }
    std::wstring PortName() const { return L"COM" + std::to_wstring(m_com); }

private:
    SOCKET m_socket = INVALID_SOCKET;
    int m_com = 0;
    std::string m_pending;
};

} // namespace vtx::test
