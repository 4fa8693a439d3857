#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "link/CommTrace.h"
#include "link/PortName.h"
#include "link/SerialPort.h"

namespace vantor {

namespace {

const HANDLE kNoHandle = INVALID_HANDLE_VALUE;

constexpr DWORD kCommEvents = EV_RXCHAR | EV_BREAK | EV_ERR;  // 0xC1
constexpr DWORD kPurgeBoth = PURGE_TXCLEAR | PURGE_RXCLEAR;   // 0x0C

// The header keeps the block as raw bytes; copy it in and out rather than
// reinterpret the storage.
DCB loadDcb(const unsigned char* bytes) {
    DCB dcb;
    std::memcpy(&dcb, bytes, sizeof dcb);
    return dcb;
}

void storeDcb(unsigned char* bytes, const DCB& dcb) {
    std::memcpy(bytes, &dcb, sizeof dcb);
}

// "COMn:" goes through the device namespace, the only form that reaches
// ports above 9; any other name is the caller's own device path.
std::string deviceName(const std::string& name) {
    const int n = comPortNumber(name);
    if (n < 0) return name;
    return R"(\\.\COM)" + std::to_string(n);
}

DWORD clampLength(std::size_t n) {
    return static_cast<DWORD>(std::min<std::size_t>(n, MAXDWORD));
}

}  // namespace

bool isSupportedBaudRate(int baud) {
    // The driver decides; any positive rate may be accepted.
    return baud > 0;
}

SerialPort::~SerialPort() {
    close();
}

bool SerialPort::isOpen() const {
    return handle_ != kNoHandle;
}

bool SerialPort::failOpen(int error, int baud) {
    openError_ = error != 0 ? error : static_cast<int>(ERROR_GEN_FAILURE);
    if (handle_ != kNoHandle) CloseHandle(handle_);
    handle_ = kNoHandle;
    traceEvent(
        openedAt_, baud,
        "open " + portName_ + " " + device_ + " failed: error " + std::to_string(openError_));
    return false;
}

bool SerialPort::open(const std::string& name, int baud, int readTimeoutMs) {
    static_assert(sizeof(DCB) <= sizeof(dcb_));
    if (isOpen()) close();

    portName_ = name;
    device_ = deviceName(name);
    openedAt_ = TraceClock::now();
    HANDLE h = CreateFileA(device_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == kNoHandle) return failOpen(static_cast<int>(GetLastError()), baud);
    handle_ = h;

    if (!SetCommMask(h, kCommEvents)) return failOpen(static_cast<int>(GetLastError()), baud);

    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) return failOpen(static_cast<int>(GetLastError()), baud);
    // Line format only; flow control and special characters stay as the
    // device has them.
    dcb.fBinary = TRUE;
    dcb.BaudRate = static_cast<DWORD>(baud);
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    storeDcb(dcb_, dcb);
    if (!SetCommState(h, &dcb)) return failOpen(static_cast<int>(GetLastError()), baud);
    openError_ = 0;
    baudRate_ = baud;
    traceEvent(openedAt_, baudRate_, "open " + portName_ + " " + device_);

    // Time-out failures are not fatal: the port still works, only the limits differ.
    setReadTimeout(readTimeoutMs);
    COMMTIMEOUTS t;
    if (GetCommTimeouts(h, &t)) {
        t.WriteTotalTimeoutMultiplier = 1;
        t.WriteTotalTimeoutConstant = 1000000;
        SetCommTimeouts(h, &t);
    }

    PurgeComm(h, kPurgeBoth);
    return true;
}

bool SerialPort::changeBaudRate(int baud) {
    if (!isOpen()) return false;
    FlushFileBuffers(handle_);
    // The rate stays: nothing for the line to settle from (a search tries
    // the port's own rate first).
    if (baud == baudRate_) return true;
    // Give the last bytes at the old rate time to leave the line.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    DCB dcb = loadDcb(dcb_);
    dcb.BaudRate = static_cast<DWORD>(baud);
    if (!SetCommState(handle_, &dcb)) return false;
    storeDcb(dcb_, dcb);
    baudRate_ = baud;
    traceEvent(openedAt_, baudRate_, "rate " + std::to_string(baud));
    return true;
}

bool SerialPort::setReadTimeout(int readTimeoutMs) {
    const int c = std::max(readTimeoutMs, 0);
    COMMTIMEOUTS t;
    if (!GetCommTimeouts(handle_, &t)) return false;
    // No interval limit: a read ends on its count or after 2 ms per byte plus c.
    t.ReadIntervalTimeout = 0;
    t.ReadTotalTimeoutMultiplier = 2;
    t.ReadTotalTimeoutConstant = static_cast<DWORD>(c);
    if (!SetCommTimeouts(handle_, &t)) return false;
    readTimeoutMs_ = c;
    return true;
}

bool SerialPort::write(const std::uint8_t* bytes, std::size_t n) {
    if (n == 0) return true;
    OVERLAPPED ov;
    std::memset(&ov, 0, sizeof ov);
    ov.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    DWORD done = 0;
    BOOL ok = WriteFile(handle_, bytes, clampLength(n), &done, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = GetOverlappedResult(handle_, &ov, &done, TRUE);
    if (ov.hEvent) CloseHandle(ov.hEvent);
    traceBytes(openedAt_, baudRate_, TraceDirection::Sent, bytes, done);
    if (!(ok && done == n)) {
        traceEvent(
            openedAt_, baudRate_,
            "write failed after " + std::to_string(done) + " of " + std::to_string(n) + " bytes");
    }
    return ok && done == n;
}

bool SerialPort::read(std::uint8_t* buffer, std::size_t n, std::size_t& got) {
    got = 0;
    if (n == 0) return true;
    OVERLAPPED ov;
    std::memset(&ov, 0, sizeof ov);
    ov.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    DWORD done = 0;
    if (!ReadFile(handle_, buffer, clampLength(n), &done, &ov) &&
        GetLastError() == ERROR_IO_PENDING) {
        GetOverlappedResult(handle_, &ov, &done, TRUE);
    }
    if (ov.hEvent) CloseHandle(ov.hEvent);
    // A short count is a time-out or an error; the caller compares it.
    got = done;
    traceBytes(openedAt_, baudRate_, TraceDirection::Received, buffer, got);
    return true;
}

bool SerialPort::purge() {
    DWORD errors = 0;
    ClearCommError(handle_, &errors, nullptr);
    return PurgeComm(handle_, kPurgeBoth) != FALSE;
}

void SerialPort::close() {
    if (isOpen()) {
        FlushFileBuffers(handle_);
        CloseHandle(handle_);
        traceEvent(openedAt_, baudRate_, "close");
    }
    handle_ = kNoHandle;
}

}  // namespace vantor
