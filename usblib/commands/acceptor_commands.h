#pragma once
// The USB acceptor's command sets as tables: the GSA commands (a command byte
// and big-endian parameters) and the Dru commands (class and sub-command
// behind the Dru marker), each with the way its reply is taken.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "usblib/commands/acceptor_frame.h"
#include "usblib/commands/usb_result.h"

namespace kovrin::usblib::commands {

enum class ReplyHandling {
    Result,        // the reply's outcome
    Acknowledged,  // code 0x00, or a first data byte of 0; anything else is a bad reply
    Data,          // the data, whatever their length
    Exactly,       // exactly the row's number of data bytes
    DruRead,       // data after the three echo bytes 0xAA, class, sub-command
};

// How an exact-length reply's bytes reach the caller.
enum class ExactForm {
    Bytes,        // in reply order
    BigEndian16,  // two bytes as a big-endian value
    Stored16,     // two bytes as they came, the first in the value's low-order byte (then any byte more)
};

struct GsaCommandRow {
    const char* Export;
    uint8_t Command;
    std::array<uint8_t, 2> Parameters;  // widths in bytes, big-endian (0: none)
    uint16_t DataMax;                   // caller data after the parameters
    uint8_t ZeroBytes;                  // bytes of 0 after the command that carry no parameter
    ReplyHandling Handling;
    uint8_t Exact;                      // for Exactly
    ExactForm Form;
};

struct DruCommandRow {
    const char* Export;
    uint8_t Class;
    uint8_t Sub;
    ReplyHandling Handling;  // Acknowledged or DruRead
};

std::span<const GsaCommandRow> GsaCommands();
std::span<const DruCommandRow> DruCommands();
const GsaCommandRow& GsaRow(uint8_t command);
const DruCommandRow& DruRow(uint8_t cls, uint8_t sub);

// BadArgument when the data are longer than the command takes.
Result BuildGsaPayload(const GsaCommandRow& row, std::span<const uint32_t> parameters,
                       std::span<const uint8_t> data, std::vector<uint8_t>& payload);
std::vector<uint8_t> DruBlock(uint8_t cls, uint8_t sub, std::span<const uint8_t> data);

struct HandledReply {
    Result Outcome = Result::BadReply;
    std::span<const uint8_t> Data;  // what goes to the caller
};

// Takes a parsed reply the way `handling` says (`exact` for Exactly).
HandledReply HandleAcceptorReply(ReplyHandling handling, size_t exact, const AcceptorReply& reply);
// A reply to a raw request: a Dru reply loses its three echo bytes.
HandledReply HandleGenericAcceptorReply(const AcceptorReply& reply);

}  // namespace kovrin::usblib::commands
