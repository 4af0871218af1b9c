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
    // refused without a system call. A device whose settings could not be
    // applied is closed again: false always leaves the port closed, with the
    // failed call's error as the last error.
    bool Open(long portNumber, unsigned long baudRate);
    // Read time-outs: a 3-byte read returns within about 6 ms. A write gets a
    // 1000 ms limit when the port had none, and a site's limit only up to
    // kMaxWriteLimitMs. Leaves the port as it was when it fails.
    bool SetTimeouts();
    // Open and SetTimeouts, or a closed port: a port is never used half set up.
    bool OpenConfigured(long portNumber, unsigned long baudRate);
    // Empties the receive buffer, so whatever arrived before a request cannot be
    // taken for its answer. A driver that refuses to purge has its input read
    // empty instead; false when neither worked.
    bool PurgeInput();
    // Takes over another port's handle and write limit; this one must be closed.
    void TakeFrom(CSerialPort& other);
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

    // The longest a 4-byte write may take, whatever the port's last user left in the driver.
    static constexpr DWORD kMaxWriteLimitMs = 5000;
    // An exchange beside its write: emptying the input, one pause before the reply,
    // five reads of a few ms each with their pauses, the closing pause; rounded up.
    static constexpr DWORD kExchangeRestMs = 500;
    // The longest any exchange can take on any port, whatever its time-outs.
    static constexpr DWORD kMaxExchangeBoundMs = kMaxWriteLimitMs + kExchangeRestMs;

private:
    // Closes at once: for a handle nothing was written to.
    void Discard();
    UniqueFileHandle m_hPort;
    std::atomic<DWORD> m_nWriteLimitMs{1000};
};

} // namespace vtx
