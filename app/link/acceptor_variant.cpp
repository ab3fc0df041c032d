#include "app/link/acceptor_variant.h"

#include <array>

namespace kovrin {

namespace {

struct VariantRow {
    const char* name;
    uint8_t frameAddress;
};

const std::array<VariantRow, 10> kVariants = {{
    {"UNKNOWN", 0},
    {"Orvel", 0},
    {"Dastin", 0},
    {"Production", 4},
    {"Dastin Plus", 4},
    {"Tyx Sarnel", 4},
    {"Orvxel Plus", 4},
    {"Tyx Tekra", 4},
    {"Pellot", 0},
    {"Dastin ++", 4},
}};

}  // namespace

std::string VariantName(int variant)
{
    return kVariants[KnownVariantOr0(variant)].name;
}

uint8_t FrameAddressOf(int variant)
{
    return kVariants[KnownVariantOr0(variant)].frameAddress;
}

VariantControls VariantControlsFor(int variant, const std::string& version)
{
    VariantControls c;
    if (variant == 7) {
        c.billHoldAndCcTalk = true;
    } else if (variant == 5) {
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
