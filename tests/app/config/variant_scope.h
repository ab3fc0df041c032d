#pragma once
// The attached acceptor's variant for a test step.

#include <gtest/gtest.h>

#include "app/config/eeprom_map.h"
#include "app/config/program_state.h"

namespace kovrin::test {

// The program's state with an acceptor of `variant` attached (0: none yet).
inline ProgramState Attached(uint8_t variant)
{
    ProgramState state;
    state.AcceptorVariant = variant;
    return state;
}

// The application defaults as they load with `variant` attached.
inline EepromRecord DefaultsFor(uint8_t variant)
{
    ProgramState state = Attached(variant);
    EepromRecord r;
    EXPECT_TRUE(state.LoadEepromDefaults(r));
    return r;
}

}  // namespace kovrin::test
