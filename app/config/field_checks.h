#pragma once
// The checks of the configuration screen's fields before a save or a send.

#include <cstdint>
#include <optional>
#include <string>

#include "screen_values.h"

namespace kovrin {

// A whole number: optional blanks, an optional sign, decimal digits, optional
// blanks; nothing else (no point, exponent, "inf" or "nan"). Values beyond
// +-10^15 are clamped there, which still fails every range test.
std::optional<int64_t> WholeNumber(const std::string& text);

// Largest pulse assignment that the record's layout holds (one byte in layout 6/7).
int32_t PulseAssignmentMax(int recordVariant);

struct FieldCheckResult {
    bool passed = true;
    std::string message;  // of the first field that failed
    std::string title;    // empty: the program's title
};

// Checks the fields in their fixed order and stops at the first failure.
// Tidies the screen as the checks do (empty channel fields become "0", the
// editable serial number is trimmed, copied to lblCSerial and padded) and
// prepares `serialText`. `variant` is AcceptorVariant, `recordVariant` the
// VariantCode of the record being edited.
FieldCheckResult ValidateConfigurationFields(ConfigScreenValues& screen, int variant, int recordVariant,
                                             std::string& serialText);

}  // namespace kovrin
