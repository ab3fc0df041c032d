#include "app/config/field_checks.h"

#include <charconv>
#include <cmath>

#include "app/config/eeprom_map.h"
#include "app/core/acceptor_variants.h"

namespace kovrin {

namespace {

FieldCheckResult Fail(std::string message, std::string title = {})
{
    return {false, std::move(message), std::move(title)};
}

bool AllDigits(const std::string& text)
{
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return !text.empty();
}

std::string TrimBlanks(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool SerialCharacterAllowed(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ' ';
}

// Checks of one number field, in the order given; each gives its message.
struct RangeTest {
    enum Kind { Below, Above, Equal } kind;
    double limit;
    const char* message;
};

std::optional<FieldCheckResult> CheckNumber(const std::string& text, const char* notNumeric,
                                            std::initializer_list<RangeTest> tests)
{
    const std::optional<double> v = NumericValue(text);
    if (!v)
        return Fail(notNumeric);
    for (const RangeTest& t : tests) {
        const bool failed = (t.kind == RangeTest::Below && *v < t.limit) ||
                            (t.kind == RangeTest::Above && *v > t.limit) ||
                            (t.kind == RangeTest::Equal && *v == t.limit);
        if (failed)
            return Fail(t.message);
    }
    return std::nullopt;
}

}  // namespace

std::optional<double> NumericValue(const std::string& text)
{
    size_t i = 0, end = text.size();
    while (i < end && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    while (end > i && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    const size_t start = i;
    if (i < end && (text[i] == '+' || text[i] == '-'))
        ++i;
    const auto digits = [&] {
        const size_t from = i;
        while (i < end && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i - from;
    };
    size_t mantissa = digits();
    if (i < end && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0)
        return std::nullopt;
    if (i < end && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < end && (text[i] == '+' || text[i] == '-'))
            ++i;
        if (digits() == 0)
            return std::nullopt;
    }
    if (i != end)
        return std::nullopt;
    // from_chars takes no leading '+' and reads no locale.
    const size_t from = text[start] == '+' ? start + 1 : start;
    double value = 0;
    const auto [ptr, ec] = std::from_chars(text.data() + from, text.data() + end, value);
    if (ec != std::errc() || ptr != text.data() + end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

int32_t PulseAssignmentMax(int recordVariant)
{
    return LayoutOfVariant(recordVariant) == EepromLayout::V6 ? 255 : 65535;
}

FieldCheckResult ValidateConfigurationFields(ConfigScreenValues& s, int variant, int recordVariant,
                                             std::string& serialText)
{
    const HiddenControls& h = s.hidden;
    const int32_t pulseMax = PulseAssignmentMax(recordVariant);
    const std::string pulseRange = "Pulse assignment value range 0 to " + std::to_string(pulseMax);

    for (std::string& t : s.TextPulse) {
        if (t.empty())
            t = "0";
        else if (auto f = CheckNumber(t, "Pulse assignment value must be numeric only.",
                                      {{RangeTest::Below, 0, pulseRange.c_str()},
                                       {RangeTest::Above, double(pulseMax), pulseRange.c_str()}}))
            return *f;
    }
    for (std::string& t : s.txtVend) {
        if (t.empty()) {
            t = "0";
            continue;
        }
        if (auto f = CheckNumber(t, "Channel value must be numeric only.",
                                 {{RangeTest::Below, 0, "Channel value cannot be less than 0."},
                                  {RangeTest::Above, 255, "Channel value not valid."}}))
            return *f;
        if (TextLength(t) > 255)
            return Fail("Channel value not valid.");
    }
    if (!h.frmMDB) {
        for (std::string& t : s.TextMDB) {
            if (t.empty())
                t = "0";
            else if (auto f = CheckNumber(t, "MDB Base value must be numeric only.",
                                          {{RangeTest::Below, 0, "MDB Base value range 0 to 255"},
                                           {RangeTest::Above, 255, "MDB Base value range 0 to 255"}}))
                return *f;
        }
    }
    if (auto f = CheckNumber(s.txtCCAddress, "ccTalk device address must be numeric",
                             {{RangeTest::Below, 2, "ccTalk device address wrong"},
                              {RangeTest::Above, 255, "ccTalk device address wrong"}}))
        return *f;

    if (!NumericValue(s.txtCCEncry))
        return Fail("Encryption code must be numeric");
    if (TextLength(s.txtCCEncry) != 6)
        return Fail("Encryption code must be 6 digits");
    // Each character is one digit of the code ("1234.5" is a number, but no code).
    if (*NumericValue(s.txtCCEncry) < 0 || !AllDigits(s.txtCCEncry))
        return Fail("Encryption code wrong");

    if (!h.txtMDBISO) {
        if (!NumericValue(s.txtMDBISO))
            return Fail("IDD/ISO code must be numeric");
        if (TextLength(s.txtMDBISO) != 4)
            return Fail("IDD/ISO code must be 4 digit");
        if (*NumericValue(s.txtMDBISO) < 0)
            return Fail("IDD/ISO code cannot be less than 0");
        if (!AllDigits(s.txtMDBISO))
            return Fail("IDD/ISO code must be numeric");
    }

    if (auto f = CheckNumber(s.txtScaling, "Scaling Factor must be numeric.",
                             {{RangeTest::Equal, 0, "Scaling Factor error"},
                              {RangeTest::Below, 0, "Scaling Factor cannot be less than 0"},
                              {RangeTest::Above, 65535, "Scaling Factor cannot be more than 65535."}}))
        return *f;
    if (auto f = CheckNumber(s.txtDecimal, "Decimal Place must be numeric.",
                             {{RangeTest::Above, 255, "Decimal Place cannot be more than 255."},
                              {RangeTest::Below, 0, "Decimal Place cannot be less than 0."}}))
        return *f;

    const size_t n = VariantRow(variant).CheckedSerialLength;
    const bool editable = !h.txtSerial;
    if (editable) {
        s.txtSerial = TrimBlanks(s.txtSerial);
        const size_t L = TextLength(s.txtSerial);
        if (L > n || L < 10)
            return Fail(n == 11 ? "Device serial no. must be 10 to 11 digits" : "Device serial no. must be 10 digits");
        if (s.txtSerial == "0000000000" || s.txtSerial == "00000000000")
            return Fail("Enter a Valid Device Serial Number. " + s.txtSerial + " is not valid.");
        s.lblCSerial = s.txtSerial;
    }
    // Every character: counting only the trimmed length from the start would
    // let leading blanks push characters past the test.
    for (char c : s.lblCSerial)
        if (!SerialCharacterAllowed(c))
            return Fail("Serial number can only contain alphanumeric values.", "Bad serial number format");
    if (editable)
        while (TextLength(s.lblCSerial) < n)
            s.lblCSerial += ' ';
    serialText = s.lblCSerial;

    if (auto f = CheckNumber(s.txtPulseON, "Pulse Rate must be numeric.",
                             {{RangeTest::Above, 255, "Pulse Rate cannot be more than 255."},
                              {RangeTest::Below, 1, "Pulse Rate cannot be less than 1."}}))
        return *f;
    if (auto f = CheckNumber(s.txtPulseOFF, "Pulse Rate must be numeric.",
                             {{RangeTest::Above, 255, "Pulse Rate cannot be more than 255."},
                              {RangeTest::Below, 1, "Pulse Rate cannot be less than 1."}}))
        return *f;
    if (!h.frmEscrowTime) {
        if (auto f = CheckNumber(s.txtEscrowTime, "Escrow Time must be numeric.",
                                 {{RangeTest::Above, 255, "Escrow Time cannot be more than 255."},
                                  {RangeTest::Below, 1, "Escrow Time cannot be less than 1."}}))
            return *f;
    }
    return {};
}

}  // namespace kovrin
