#pragma once

#include <cstdint>
#include <string>

namespace kovrin {

// Name shown for a variant code; "UNKNOWN" outside 1 to 9.
std::string VariantName(int variant);
// Byte 1 of the frames sent to an acceptor of that variant.
uint8_t FrameAddressOf(int variant);
// Variant codes outside 1 to 9 stand for no acceptor.
inline int KnownVariantOr0(int variant) { return variant >= 1 && variant <= 9 ? variant : 0; }

}  // namespace kovrin
