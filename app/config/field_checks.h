#pragma once
// The checks of the configuration screen's fields before a save or a send.

#include <cstdint>
#include <optional>
#include <string>

#include "app/config/screen_values.h"

namespace kovrin {

// A number as the checks take it: optional blanks, an optional sign, decimal
// digits with an optional decimal point ("100.0", ".5", "5."), an optional
// exponent ("1e2", "1E-3"), optional blanks; nothing else (no "inf", "nan",
// hexadecimal or thousands separators). Nothing for the empty text or a
// value too large for a double.
std::optional<double> NumericValue(const std::string& text);

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
