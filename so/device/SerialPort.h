#pragma once
// The drawer's serial port. Not thread-safe: its owner serialises use with the port mutex.
#include "win32/UniqueHandle.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace vtx {

// The drawer's serial port: opened by number for exclusive synchronous use,
// 8N1 with RTS/CTS handshake, and read time-outs of a few milliseconds.
// Not thread-safe: the owner serialises exchanges with its port mutex.
class CSerialPort {
public:
    CSerialPort() = default;
    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;
    virtual ~CSerialPort();

    // Opens \\.\COMn and applies the line settings. Numbers outside 1..255 are
    // refused without a system call. When the device opened but the settings
    // could not be applied, the port stays open (and false is returned).
    bool Open(long portNumber, unsigned long baudRate);
    // Read time-outs: a 3-byte read returns within about 6 ms. A write gets a
    // 1000 ms limit unless the port already had one.
    bool SetTimeouts();
    // The closing rule: a 100 ms pause, then the handle goes. No pause when closed.
    void Close();

    bool IsOpen() const { return m_hPort.valid(); }
    // The longest one status exchange can take on this port: its write limit
    // for a command, the reply's reads and pauses, and the closing pause.
    // Any thread may ask; it is kept from the last SetTimeouts.
    DWORD ExchangeBoundMs() const { return m_nWriteLimitMs.load() + kExchangeRestMs; }
    HANDLE Handle() const { return m_hPort.get(); }

    // One synchronous write; true only when every byte went out. A short
    // (timed-out) write leaves ERROR_TIMEOUT as the last error.
    bool Write(const uint8_t* bytes, DWORD count);
    // One synchronous read bounded by the time-outs; bytes read, or -1 on failure.
    long Read(uint8_t* buffer, DWORD capacity);

private:
    // One pause before the reply, five reads of a few ms each with their pauses, the closing pause; rounded
    // up.
    static constexpr DWORD kExchangeRestMs = 500;
    UniqueFileHandle m_hPort;
    std::atomic<DWORD> m_nWriteLimitMs{1000};
};

} // namespace vtx
