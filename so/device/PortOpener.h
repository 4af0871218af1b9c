#pragma once
// CPortOpener: one open of the drawer's port on a thread of its own. The thread and whoever
// started it share only this block; the port belongs to the opener until Done is signalled,
// then to whoever holds the block.
#include "device/SerialPort.h"
#include "win32/UniqueHandle.h"

#include <memory>

namespace vtx {

// Opening a COM port whose peer is gone (Bluetooth, network, some USB adapters) can
// take many seconds. The monitor waits for this block or for its stop, whichever
// comes first; an opener left behind finishes on its own, closes what it opened
// when nobody wants it, and keeps the module loaded until it is out of its code.
class CPortOpener {
public:
    // Starts an open and set-up of COMn; null when no thread or event could be had.
    static std::shared_ptr<CPortOpener> Start(long portNumber, unsigned long baudRate);

    // Manual-reset: signalled once the attempt is over.
    HANDLE Done() const { return m_evDone.get(); }
    // After Done: whether the port opened, and the error when not.
    bool Opened() const { return m_bOpened; }
    DWORD Error() const { return m_dwError; }
    CSerialPort& Port() { return m_port; }

    CPortOpener(long portNumber, unsigned long baudRate);

private:
    static DWORD WINAPI ThreadProc(LPVOID param);

    const long m_nPortNumber;
    const unsigned long m_nBaudRate;
    UniqueHandle m_evDone;
    CSerialPort m_port;
    bool m_bOpened = false;
    DWORD m_dwError = 0;
};

} // namespace vtx
