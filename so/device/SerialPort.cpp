// The drawer's serial port: open, line settings, time-outs, bounded reads and writes.
// Used only under the owner's port mutex.
#include "device/SerialPort.h"

#include <cwchar>

namespace vtx {

namespace {
constexpr DWORD kClosePauseMs = 100;
// A 4-byte command takes 4 ms at 9600 bit/s; a drawer holding CTS low must not
// hold the write, and with it the port mutex, for ever.
constexpr DWORD kDefaultWriteTimeoutMs = 1000;
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
    m_hPort.reset(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!m_hPort) {
        return false;
    }

    DCB dcb{};
    dcb.DCBlength = sizeof(dcb);
    if (!GetCommState(m_hPort.get(), &dcb)) {
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
    return SetCommState(m_hPort.get(), &dcb) != FALSE;
}

bool CSerialPort::SetTimeouts() {
    if (!IsOpen()) {
        return false;
    }
    COMMTIMEOUTS timeouts{};
    if (!GetCommTimeouts(m_hPort.get(), &timeouts)) {
        return false;
    }
    timeouts.ReadIntervalTimeout = 2;
    timeouts.ReadTotalTimeoutMultiplier = 2;
    timeouts.ReadTotalTimeoutConstant = 0;
    // Write time-outs a site configured stay; only "no limit at all" gets one.
    if (timeouts.WriteTotalTimeoutMultiplier == 0 && timeouts.WriteTotalTimeoutConstant == 0) {
        timeouts.WriteTotalTimeoutConstant = kDefaultWriteTimeoutMs;
    }
    const uint64_t limit =
        uint64_t{timeouts.WriteTotalTimeoutMultiplier} * 4 + timeouts.WriteTotalTimeoutConstant;
    m_nWriteLimitMs = limit > 60000 ? 60000 : static_cast<DWORD>(limit);
    return SetCommTimeouts(m_hPort.get(), &timeouts) != FALSE;
}

void CSerialPort::Close() {
    if (!IsOpen()) {
        return;
    }
    // Lets the last bytes leave the line before the handle goes.
    Sleep(kClosePauseMs);
    m_hPort.reset();
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
