#pragma once
// What the acceptor link needs of a serial port; CommPort is the real one,
// tests stand in their own.

#include <string>

#include "app/link/serial_frame.h"

namespace kovrin {

class SerialPort {
public:
    // Event codes of the receive event; the line errors among them are discarded with what came.
    enum : int { comEvReceive = 2, comEventRxOver = 1008, comEventFrame = 1004, comEventRxParity = 1009 };

    virtual ~SerialPort() = default;
    // Opens port `number` at `settings` ("9600, N, 8, 1") for raw bytes, DTR and RTS on; false when it did not open.
    virtual bool Open(int number, const char* settings) = 0;
    virtual void Close() = 0;
    virtual bool PortOpen() const = 0;
    // Writes the bytes; false when they did not go.
    virtual bool Output(const Bytes& bytes) = 0;
    // Everything received and not read yet.
    virtual Bytes Input() = 0;
    // Blocks for `ms` milliseconds; the port keeps taking in bytes.
    virtual void Wait(int ms) = 0;
};

}  // namespace kovrin
