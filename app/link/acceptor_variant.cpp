#include "app/link/acceptor_variant.h"

namespace kovrin {

std::string VariantName(int variant)
{
    return VariantRow(variant).Name;
}

uint8_t FrameAddressOf(int variant)
{
    return VariantRow(variant).FrameAddress;
}

VariantControls VariantControlsFor(int variant, const std::string& version)
{
    VariantControls c;
    const VariantControlRule rule = VariantRow(variant).Controls;
    if (rule == VariantControlRule::Always) {
        c.billHoldAndCcTalk = true;
    } else if (rule == VariantControlRule::ByVersion) {
        if (version.empty())
            return {false, false};
        if (version >= "0038")
            c.billHoldAndCcTalk = true;
        if (version <= "0037")
            c.billHoldAndCcTalk = false;
        if (version >= "0040")
            c.escrowTime = true;
        if (version <= "0039")
            c.escrowTime = false;
    }
    return c;
}

}  // namespace kovrin
