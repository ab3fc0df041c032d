#pragma once
// The one exchange behind every command export: the checks in their order,
// outputs set to 0, the request built from the command tables, the reply
// read and checked, and the decoded values written to the caller's memory.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "usblib/commands/acceptor_commands.h"
#include "usblib/commands/module_commands.h"
#include "usblib/qel_usb.h"

namespace kovrin::usblib {

// A caller's output: where it is and how many bytes it holds. `Named` tells
// an argument the export has (and so requires) from one it does not.
struct Out {
    void* Pointer = nullptr;
    size_t Size = 0;
    bool Named = false;
    bool Clear = true;  // set to 0 before the exchange (records and values; not data buffers)

    Out() = default;
    template <class T>
    Out(T* pointer) : Pointer(pointer), Size(sizeof(T)), Named(true)
    {
    }
    Out(void* pointer, size_t size) : Pointer(pointer), Size(size), Named(true) {}
};

// A caller's buffer for data of varying length: written, never cleared.
inline Out Buffer(void* pointer, size_t size)
{
    Out out(pointer, size);
    out.Clear = false;
    return out;
}

// Caller data sent with a request.
struct In {
    const void* Pointer = nullptr;
    size_t Length = 0;
    bool Named = false;

    In() = default;
    In(const void* pointer, size_t length) : Pointer(pointer), Length(length), Named(true) {}
};

struct ModuleCall {
    commands::ModuleCommand Command;
    std::vector<uint32_t> Parameters = {};
    In Data = {};
    Out Status = {};
    std::array<Out, 3> Values = {};  // the table's integer fields, in order
    Out Block = {};                  // the table's byte block
    Out BlockLength = {};            // the block's length (16-bit)
    KduFileInfo* Entry = nullptr;    // VoskUsb_PMEnumFile's record
    bool HasEntry = false;
};

UsbResult RunModuleCall(UsbDevice device, const ModuleCall& call);

// How the exact-length data of a reply reach the caller.
struct ExactOut {
    Out Record;  // Bytes: the n bytes; 16-bit forms: the value
    Out Extra;   // a third byte after a 16-bit value
};

struct AcceptorCall {
    // A GSA command by its byte, or a Dru command by class and sub-command.
    bool Dru = false;
    uint8_t Command = 0;
    uint8_t Class = 0;
    uint8_t Sub = 0;
    commands::ReplyHandling Handling = commands::ReplyHandling::Result;
    std::vector<uint32_t> Parameters = {};
    In Data = {};
    bool DataRequired = false;  // at least one byte
    Out Status = {};
    Out Buffer = {};            // Data and Dru reads
    Out Length = {};            // 16-bit
    ExactOut Exact = {};
    Out Unused = {};            // required, never written
    // Dru read with capacity: `Length` holds the capacity on the call.
    bool Capacity = false;
    // The length output receives the reply's data length whatever the handling.
    bool LengthOfReply = false;
};

// A GSA call of the table row of `command`.
AcceptorCall Gsa(uint8_t command);
// A Dru call of the table row of class and sub-command (or the caller's own).
AcceptorCall Dru(uint8_t cls, uint8_t sub, commands::ReplyHandling handling);

UsbResult RunAcceptorCall(UsbDevice device, const AcceptorCall& call);

UsbResult RunGeneric(UsbDevice device, const uint8_t* request, uint32_t length, uint8_t* buffer,
                     uint16_t* replyLength);

}  // namespace kovrin::usblib
