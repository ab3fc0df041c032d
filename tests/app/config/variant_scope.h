#pragma once
// The attached acceptor's variant for the length of a test step.

#include <gtest/gtest.h>

#include "app/config/eeprom_map.h"

namespace kovrin::test {

struct VariantScope {
    explicit VariantScope(uint8_t v) : saved(AcceptorVariant) { AcceptorVariant = v; }
    ~VariantScope() { AcceptorVariant = saved; }
    uint8_t saved;
};

// The application defaults as they load with `variant` attached.
inline EepromRecord DefaultsFor(uint8_t variant)
{
    VariantScope scope(variant);
    EepromRecord r;
    EXPECT_TRUE(LoadEepromDefaults(r));
    return r;
}

}  // namespace kovrin::test
