#pragma once
// What the acceptor link needs of a serial port; CommPort is the real one,
// tests stand in their own.

#include <string>

#include "app/link/serial_frame.h"

namespace kovrin {

class SerialPort {
public:
    virtual ~SerialPort() = default;
    virtual bool PortOpen() const = 0;
    // Writes the bytes; false when they did not go.
    virtual bool Output(const Bytes& bytes) = 0;
    // Everything received and not read yet.
    virtual Bytes Input() = 0;
    // Blocks for `ms` milliseconds; the port keeps taking in bytes.
    virtual void Wait(int ms) = 0;
};

}  // namespace kovrin
