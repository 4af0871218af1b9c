// The drawer's serial port: open, line settings, time-outs, bounded reads and writes.
// Used only under the owner's port mutex (a port being opened by the monitor's
// opener belongs to that opener until it is handed over).
#include "device/SerialPort.h"

#include "device/PortApi.h"

#include <cwchar>

namespace vtx {

namespace {
constexpr DWORD kClosePauseMs = 100;
// A 4-byte command takes 4 ms at 9600 bit/s; a drawer holding CTS low must not
// hold the write, and with it the port mutex, for ever.
constexpr DWORD kDefaultWriteTimeoutMs = 1000;
constexpr uint64_t kCommandBytes = 4;
// Emptying the input by reading: at most 8 ms a read at the read time-outs, so
// an exchange stays within its rest bound; a drawer's stale replies are a few bytes.
constexpr int kDrainReads = 3;
constexpr DWORD kDrainReadSize = 4;
} // namespace

CSerialPort::~CSerialPort() {
    Close();
}

bool CSerialPort::Open(long portNumber, unsigned long baudRate) {
    if (portNumber < 1 || portNumber > 255) {
        return false;
    }
    // The \\.\ prefix is required from COM10 up and harmless below it.
    wchar_t path[32];
    swprintf(path, sizeof(path) / sizeof(path[0]), L"\\\\.\\COM%ld", portNumber);
    IPortApi& api = PortApi();
    m_hPort.reset(api.Open(path));
    if (!m_hPort) {
        return false;
    }

    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!api.GetState(m_hPort.get(), &dcb)) {
        Discard();
        return false;
    }
    dcb.BaudRate = baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxCtsFlow = TRUE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fTXContinueOnXoff = TRUE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    if (!api.SetState(m_hPort.get(), &dcb)) {
        // Left open, the driver's default line settings and no write limit
        // would be what the next command is written with.
        Discard();
        return false;
    }
    return true;
}

bool CSerialPort::SetTimeouts() {
    if (!IsOpen()) {
        return false;
    }
    IPortApi& api = PortApi();
    COMMTIMEOUTS timeouts{};
    if (!api.GetTimeouts(m_hPort.get(), &timeouts)) {
        return false;
    }
    timeouts.ReadIntervalTimeout = 2;
    timeouts.ReadTotalTimeoutMultiplier = 2;
    timeouts.ReadTotalTimeoutConstant = 0;
    // A site's write limit stays up to the cap; none at all, or one of minutes, does not.
    uint64_t limit =
        uint64_t{timeouts.WriteTotalTimeoutMultiplier} * kCommandBytes + timeouts.WriteTotalTimeoutConstant;
    if (limit == 0) {
        timeouts.WriteTotalTimeoutConstant = kDefaultWriteTimeoutMs;
        limit = kDefaultWriteTimeoutMs;
    } else if (limit > kMaxWriteLimitMs) {
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = kMaxWriteLimitMs;
        limit = kMaxWriteLimitMs;
    }
    if (!api.SetTimeouts(m_hPort.get(), &timeouts)) {
        return false;
    }
    m_nWriteLimitMs = static_cast<DWORD>(limit);
    return true;
}

bool CSerialPort::OpenConfigured(long portNumber, unsigned long baudRate) {
    if (!Open(portNumber, baudRate)) {
        return false;
    }
    if (!SetTimeouts()) {
        Discard();
        return false;
    }
    return true;
}

bool CSerialPort::PurgeInput() {
    if (!IsOpen()) {
        return false;
    }
    if (PortApi().Purge(m_hPort.get(), PURGE_RXCLEAR)) {
        return true;
    }
    // A few short reads (each bounded by the read time-outs) empty what a
    // drawer can have sent; a line that keeps sending is no drawer's answer.
    uint8_t scrap[kDrainReadSize];
    for (int i = 0; i < kDrainReads; ++i) {
        const long got = Read(scrap, sizeof(scrap));
        if (got <= 0) {
            return got == 0;
        }
    }
    return false;
}

void CSerialPort::TakeFrom(CSerialPort& other) {
    m_hPort = std::move(other.m_hPort);
    m_nWriteLimitMs = other.m_nWriteLimitMs.load();
}

void CSerialPort::Close() {
    if (!IsOpen()) {
        return;
    }
    // Lets the last bytes leave the line before the handle goes.
    Sleep(kClosePauseMs);
    m_hPort.reset();
}

void CSerialPort::Discard() {
    const DWORD error = GetLastError();
    m_hPort.reset();
    SetLastError(error);
}

bool CSerialPort::Write(const uint8_t* bytes, DWORD count) {
    if (!IsOpen()) {
        return false;
    }
    DWORD written = 0;
    if (!WriteFile(m_hPort.get(), bytes, count, &written, nullptr)) {
        return false;
    }
    if (written != count) {
        // A write that timed out succeeds short and leaves the last error as it
        // was: name the cause, so the caller does not classify a stale error.
        SetLastError(ERROR_TIMEOUT);
        return false;
    }
    return true;
}

long CSerialPort::Read(uint8_t* buffer, DWORD capacity) {
    if (!IsOpen()) {
        return -1;
    }
    DWORD got = 0;
    if (!ReadFile(m_hPort.get(), buffer, capacity, &got, nullptr)) {
        return -1;
    }
    return static_cast<long>(got);
}

} // namespace vtx
