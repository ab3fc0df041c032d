#pragma once
// The acceptor's answer to the poll: who it is.

#include <optional>
#include <string>

#include "app/link/serial_frame.h"

namespace kovrin {

constexpr uint8_t UnitStateProgramMode = 0x99;

struct IdentificationReply {
    uint8_t variant = 0;    // byte 5, as received
    uint8_t unitState = 0;  // byte 6: program mode, else the restriction code
    std::string serial;
    int32_t memoryReadAddress = 0;
    std::string info;
    std::string software;
    std::string version;
};

// Reads an identification frame (N bytes, check byte last). `normalMode` is
// false for the boot loader's answer, whose texts have the plain layout.
// Nothing when the frame ends before the last byte the layout reads.
std::optional<IdentificationReply> ParseIdentification(const Bytes& frame, bool normalMode = true);

}  // namespace kovrin
