#include "app/core/acceptor_variants.h"

namespace kovrin {

namespace {

using L = EepromLayout;
using C = VariantControlRule;
constexpr uint32_t S = SarnelVariantId;
constexpr uint32_t T = TekraVariantId;
constexpr const char* SarnelConfig = "Tyx_Config.bin";
constexpr const char* OtherConfig = "Tyx_WS_Config.bin";

// Variant 6's image name is spelled apart from its acceptor name; the two are
// compared, and so never match for it.
constexpr auto kVariants = std::to_array<AcceptorVariantRow>({
    // name          image name     analysed addr serial sw chk layout controls    stamp   module     fw cfg cfgFile       audit        no MDB
    {"UNKNOWN",      "UNKNOWN",     false, 0, 10, 10, 10, L::None, C::Unchanged, nullptr, nullptr,  0, T, OtherConfig,  false, false, false},
    {"Orvel",        "",            false, 0, 10, 10, 10, L::None, C::Unchanged, nullptr, nullptr,  0, T, OtherConfig,  false, false, false},
    {"Dastin",       "",            false, 0, 10, 10, 10, L::None, C::Unchanged, nullptr, nullptr,  0, T, OtherConfig,  false, false, false},
    {"Production",   nullptr,       false, 4, 10, 10, 10, L::None, C::Unchanged, nullptr, nullptr,  0, T, OtherConfig,  false, false, false},
    {"Dastin Plus",  "Dastin Plus", true,  4, 10, 10, 10, L::None, C::Unchanged, nullptr, nullptr,  0, T, OtherConfig,  false, false, false},
    {"Tyx Sarnel",   "Tyx Sarnel",  true,  4, 11, 11, 11, L::V5,   C::ByVersion, "0043",  "0043",   S, S, SarnelConfig, true,  false, true},
    {"Orvxel Plus",  "Orvel Plus",  true,  4, 10, 10, 11, L::V6,   C::Unchanged, nullptr, nullptr,  0, T, OtherConfig,  false, false, false},
    {"Tyx Tekra",    "Tyx Tekra",   true,  4, 11, 11, 11, L::V6,   C::Always,    "0018",  "0017",   T, T, OtherConfig,  false, true, false},
    {"Pellot",       nullptr,       false, 0, 10, 10, 10, L::None, C::Unchanged, nullptr, nullptr,  0, T, OtherConfig,  false, false, false},
    {"Dastin ++",    "Dastin ++",   true,  4, 11, 10, 11, L::V5,   C::Unchanged, nullptr, nullptr,  0, T, OtherConfig,  false, false, false},
});
// A code without its row would read as an empty row, and a row past the bound
// would never be read.
static_assert(kVariants.size() == VariantCount, "one row for each code from 0 to HighestVariant");

}  // namespace

const AcceptorVariantRow& VariantRow(int variant)
{
    return kVariants[size_t(KnownVariantOr0(variant))];
}

const AcceptorVariantRow& VariantRowOfImageName(const std::string& imageName)
{
    for (size_t v = 1; v < kVariants.size(); ++v)
        if (kVariants[v].ImageName != nullptr && imageName == kVariants[v].ImageName)
            return kVariants[v];
    return kVariants[0];
}

}  // namespace kovrin
