#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/core/acceptor_variants.h"

namespace kovrin {

// Name shown for a variant code; "UNKNOWN" outside the variant table.
std::string VariantName(int variant);
// Byte 1 of the frames sent to an acceptor of that variant.
uint8_t FrameAddressOf(int variant);

// Which of the configuration screen's variant-dependent controls show; nothing
// leaves a control as it is.
struct VariantControls {
    std::optional<bool> billHoldAndCcTalk;  // chkBill_Hold and chkCCTalk
    std::optional<bool> escrowTime;         // frmEscrowTime

    bool operator==(const VariantControls&) const = default;
};
// For an identified `variant` whose firmware version shows as `version`
// (empty in program mode); versions compare as text.
VariantControls VariantControlsFor(int variant, const std::string& version);

}  // namespace kovrin
