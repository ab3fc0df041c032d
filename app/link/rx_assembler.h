#pragma once
// Assembles reply frames from the bytes of successive receive events.

#include <optional>

#include "app/link/serial_frame.h"

namespace kovrin {

class RxAssembler {
public:
    struct Frame {
        Bytes bytes;      // exactly N bytes
        bool checksumOk;  // the frame may be dispatched
    };

    // Takes the bytes of one receive event. `ReplyCode` takes byte 4 of a
    // header when one is found. Returns a frame once N bytes of it are held;
    // the buffer is then empty again.
    std::optional<Frame> Feed(const Bytes& bytes, uint8_t& ReplyCode);

    // Forgets everything held (the port was opened or closed).
    void Clear();

    bool RxHeaderFound = false;
    // The next frame arriving without its first two bytes gets them back, once.
    bool InsertRxHeader = false;
    const Bytes& RxFrame() const { return buffer_; }

private:
    bool SearchHeader(uint8_t& ReplyCode);
    Bytes buffer_;
};

// 0x27, 0x08, N, 256 - N with N a possible frame length.
bool IsReplyHeader(const Bytes& b);

}  // namespace kovrin
