#pragma once
// Reasons why the update button is disabled, one bit each; none set means none.

#include <cstdint>

namespace kovrin {

enum FlashInhibitBit : uint8_t {
    InhibitNoFirmwareFile = 0x01,
    InhibitNoAcceptor = 0x02,
    InhibitOtherAcceptorCode = 0x04,  // the acceptor's code differs from the image's
    InhibitUpdateRequested = 0x08,
    InhibitOtherVariant = 0x10,  // the image is for another variant
};

}  // namespace kovrin
