#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace vantor::sim {

// The simulated instrument's end of the serial line: a device the program
// opens as its port, the bytes the program writes to it and the line rate the
// program has set on its side.
class SimLine {
public:
    virtual ~SimLine() = default;

    // Makes the device, raw, at `rate` on the program's side.
    virtual bool open(int rate) = 0;
    // The name the program opens.
    virtual std::string devicePath() const = 0;
    // The rate the program has set on its side of the line; 0 when unknown.
    virtual int lineRate() = 0;
    // Waits for bytes from the program. Returns how many arrived, with the
    // line rate as it was when they were read; 0 once interrupt() was called;
    // -1 on an error the caller should pause over.
    virtual long read(std::uint8_t* buffer, std::size_t size, int& rate) = 0;
    // Writes every byte unless the program never takes them: then the rest is
    // dropped after a second rather than hanging the instrument.
    virtual void write(const std::uint8_t* bytes, std::size_t n) = 0;
    // Makes a waiting read (and every later one) return 0.
    virtual void interrupt() = 0;
    virtual void close() = 0;
};

// A pseudo-terminal: the program opens its slave device.
std::unique_ptr<SimLine> makePseudoTerminalLine();

// The line of this platform's simulator: a pseudo-terminal, or on Windows a
// pseudo-terminal of a bridge on the host, named as a COM port (see
// BridgeLine.cpp).
std::unique_ptr<SimLine> makeSimLine();

}  // namespace vantor::sim
