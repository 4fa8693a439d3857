#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vantor {

// One open serial device at 8 data bits, no parity, one stop bit, raw bytes.
// Every operation is synchronous. Used only inside InstrumentLink.
class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the device exclusively and configures it; an open port is closed first.
    // A read of n bytes then ends when n bytes arrived or after 2*n + readTimeoutMs ms.
    bool open(const std::string& name, int baud, int readTimeoutMs);
    // Lets pending output drain, pauses 50 ms, then sets the rate; at the
    // port's own rate only drains. False when closed.
    bool changeBaudRate(int baud);
    bool setReadTimeout(int readTimeoutMs);
    // True only if every byte was written (1 ms per byte plus 1,000,000 ms at most).
    bool write(const std::uint8_t* bytes, std::size_t n);
    // Always true; got tells how many bytes arrived before the time-out.
    bool read(std::uint8_t* buffer, std::size_t n, std::size_t& got);
    // Clears line errors and discards everything pending in both directions.
    bool purge();
    void close();

    bool isOpen() const;
    int baudRate() const { return baudRate_; }
    const std::string& portName() const { return portName_; }
    int readTimeout() const { return readTimeoutMs_; }
    // The device the last open went to, and the system's code (errno, or the
    // Windows error) of its failure; 0 after a successful open.
    const std::string& device() const { return device_; }
    int openError() const { return openError_; }

private:
    // Closes fd or handle of a failed open, keeping the system's reason.
    bool failOpen(int error, int baud);

    std::string portName_;
    std::string device_;
    int openError_ = 0;
    std::chrono::steady_clock::time_point openedAt_{};  // the trace counts from here
    int baudRate_ = 0;
    int readTimeoutMs_ = 0;
#ifdef _WIN32
    void* handle_ = reinterpret_cast<void*>(static_cast<std::intptr_t>(-1));
    // The device control block as last written, kept opaque so no Windows
    // header leaks into users of this class.
    alignas(8) unsigned char dcb_[64] = {};
#else
    int fd_ = -1;
    bool lowLatencySet_ = false;  // this port asked the driver for low latency
#endif
};

// Whether the platform can set this line rate.
bool isSupportedBaudRate(int baud);

}  // namespace vantor
