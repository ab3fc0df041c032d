#include <gtest/gtest.h>

#include <functional>

#include "app/config/eeprom_map.h"
#include "app/config/field_checks.h"

namespace kovrin {
namespace {

// Every field valid, as the defaults show them, with an editable serial.
ConfigScreenValues ValidScreen(int variant)
{
    EepromRecord r;
    LoadEepromDefaults(r, uint8_t(variant));
    ConfigScreenValues s;
    ApplyVariantVisibility(s.hidden, variant);
    RecordToScreen(r, s);
    s.txtEscrowTime = "30";  // layout 6/7 defaults leave it 0
    s.hidden.txtSerial = false;
    s.txtSerial = "1234567890";
    s.lblCSerial = "1234567890";
    return s;
}

FieldCheckResult Check(ConfigScreenValues& s, int variant = 7, int recordVariant = 7)
{
    std::string serial;
    return ValidateConfigurationFields(s, variant, recordVariant, serial);
}

TEST(NumericValue, Grammar)
{
    const struct {
        const char* text;
        std::optional<double> value;
    } cases[] = {
        {"0", 0}, {"255", 255}, {" 42 ", 42}, {"-5", -5}, {"+7", 7}, {"007", 7},
        {"1.5", 1.5}, {"100.0", 100}, {".5", 0.5}, {"5.", 5}, {"-0.25", -0.25},
        {"1e3", 1000}, {"1E3", 1000}, {"2.5e-1", 0.25}, {"+1e+2", 100}, {" 1e2 ", 100},
        {"", std::nullopt}, {" ", std::nullopt}, {"-", std::nullopt}, {".", std::nullopt},
        {"e5", std::nullopt}, {"1e", std::nullopt}, {"1e+", std::nullopt}, {"1.5.2", std::nullopt},
        {"inf", std::nullopt}, {"nan", std::nullopt}, {"0x10", std::nullopt}, {"1,000", std::nullopt},
        {"12a", std::nullopt}, {"- 1", std::nullopt}, {"1 2", std::nullopt}, {"1e400", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NumericValue(c.text), c.value) << '"' << c.text << '"';
}

struct Case {
    const char* what;
    std::function<void(ConfigScreenValues&)> edit;
    const char* message;  // nullptr: passes
};

TEST(FieldChecks, EveryCheckWithItsMessage)
{
    const Case cases[] = {
        {"pulse text", [](auto& s) { s.TextPulse[5] = "x"; }, "Pulse assignment value must be numeric only."},
        {"pulse fraction", [](auto& s) { s.TextPulse[5] = "1.5"; }, nullptr},
        {"pulse 254.6", [](auto& s) { s.TextPulse[5] = "254.6"; }, nullptr},
        {"pulse 255.4", [](auto& s) { s.TextPulse[5] = "255.4"; }, "Pulse assignment value range 0 to 255"},
        {"pulse two points", [](auto& s) { s.TextPulse[5] = "1.5.2"; }, "Pulse assignment value must be numeric only."},
        {"pulse negative", [](auto& s) { s.TextPulse[0] = "-1"; }, "Pulse assignment value range 0 to 255"},
        {"pulse over a byte", [](auto& s) { s.TextPulse[0] = "256"; }, "Pulse assignment value range 0 to 255"},
        {"pulse 255", [](auto& s) { s.TextPulse[0] = "255"; }, nullptr},
        {"vend exponent", [](auto& s) { s.txtVend[23] = "1e2"; }, nullptr},
        {"vend text", [](auto& s) { s.txtVend[23] = "1e"; }, "Channel value must be numeric only."},
        {"vend negative", [](auto& s) { s.txtVend[0] = "-1"; }, "Channel value cannot be less than 0."},
        {"vend 256", [](auto& s) { s.txtVend[0] = "256"; }, "Channel value not valid."},
        {"vend 70000", [](auto& s) { s.txtVend[0] = "70000"; }, "Channel value not valid."},
        {"vend 255", [](auto& s) { s.txtVend[0] = "255"; }, nullptr},
        {"mdb text", [](auto& s) { s.TextMDB[15] = "nan"; }, "MDB Base value must be numeric only."},
        {"mdb 256", [](auto& s) { s.TextMDB[0] = "256"; }, "MDB Base value range 0 to 255"},
        {"mdb -1", [](auto& s) { s.TextMDB[0] = "-1"; }, "MDB Base value range 0 to 255"},
        {"address empty", [](auto& s) { s.txtCCAddress = ""; }, "ccTalk device address must be numeric"},
        {"address 1", [](auto& s) { s.txtCCAddress = "1"; }, "ccTalk device address wrong"},
        {"address 256", [](auto& s) { s.txtCCAddress = "256"; }, "ccTalk device address wrong"},
        {"address 2", [](auto& s) { s.txtCCAddress = "2"; }, nullptr},
        {"address 255", [](auto& s) { s.txtCCAddress = "255"; }, nullptr},
        {"code letters", [](auto& s) { s.txtCCEncry = "12a456"; }, "Encryption code must be numeric"},
        {"code inf", [](auto& s) { s.txtCCEncry = "inf"; }, "Encryption code must be numeric"},
        {"code five", [](auto& s) { s.txtCCEncry = "12345"; }, "Encryption code must be 6 digits"},
        {"code seven", [](auto& s) { s.txtCCEncry = "1234567"; }, "Encryption code must be 6 digits"},
        {"code minus", [](auto& s) { s.txtCCEncry = "-12345"; }, "Encryption code wrong"},
        {"code plus", [](auto& s) { s.txtCCEncry = "+12345"; }, "Encryption code wrong"},
        {"code blank", [](auto& s) { s.txtCCEncry = " 12345"; }, "Encryption code wrong"},
        {"code fraction", [](auto& s) { s.txtCCEncry = "1234.5"; }, "Encryption code wrong"},
        {"iso text", [](auto& s) { s.txtMDBISO = "12b4"; }, "IDD/ISO code must be numeric"},
        {"iso three", [](auto& s) { s.txtMDBISO = "123"; }, "IDD/ISO code must be 4 digit"},
        {"iso five", [](auto& s) { s.txtMDBISO = "11023"; }, "IDD/ISO code must be 4 digit"},
        {"iso minus", [](auto& s) { s.txtMDBISO = "-123"; }, "IDD/ISO code cannot be less than 0"},
        {"iso plus", [](auto& s) { s.txtMDBISO = "+123"; }, "IDD/ISO code must be numeric"},
        {"scaling empty", [](auto& s) { s.txtScaling = ""; }, "Scaling Factor must be numeric."},
        {"scaling 0", [](auto& s) { s.txtScaling = "0"; }, "Scaling Factor error"},
        {"scaling -1", [](auto& s) { s.txtScaling = "-1"; }, "Scaling Factor cannot be less than 0"},
        {"scaling 65536", [](auto& s) { s.txtScaling = "65536"; }, "Scaling Factor cannot be more than 65535."},
        {"scaling 65535", [](auto& s) { s.txtScaling = "65535"; }, nullptr},
        {"scaling fraction", [](auto& s) { s.txtScaling = "0.5"; }, nullptr},
        {"scaling 100.0", [](auto& s) { s.txtScaling = "100.0"; }, nullptr},
        {"scaling separator", [](auto& s) { s.txtScaling = "1,000"; }, "Scaling Factor must be numeric."},
        {"scaling huge", [](auto& s) { s.txtScaling = "1e400"; }, "Scaling Factor must be numeric."},
        {"decimal text", [](auto& s) { s.txtDecimal = "two"; }, "Decimal Place must be numeric."},
        {"decimal 256", [](auto& s) { s.txtDecimal = "256"; }, "Decimal Place cannot be more than 255."},
        {"decimal -1", [](auto& s) { s.txtDecimal = "-1"; }, "Decimal Place cannot be less than 0."},
        {"serial short", [](auto& s) { s.txtSerial = "12345"; }, "Device serial no. must be 10 to 11 digits"},
        {"serial long", [](auto& s) { s.txtSerial = "123456789012"; }, "Device serial no. must be 10 to 11 digits"},
        {"serial zeros", [](auto& s) { s.txtSerial = "0000000000"; },
         "Enter a Valid Device Serial Number. 0000000000 is not valid."},
        {"serial zeros 11", [](auto& s) { s.txtSerial = "00000000000"; },
         "Enter a Valid Device Serial Number. 00000000000 is not valid."},
        {"serial hyphen", [](auto& s) { s.txtSerial = "AB-9087065"; },
         "Serial number can only contain alphanumeric values."},
        {"label hyphen", [](auto& s) { s.hidden.txtSerial = true; s.lblCSerial = "AB-9"; },
         "Serial number can only contain alphanumeric values."},
        {"label hyphen after blanks", [](auto& s) { s.hidden.txtSerial = true; s.lblCSerial = "   AB-9"; },
         "Serial number can only contain alphanumeric values."},
        {"label accented", [](auto& s) { s.hidden.txtSerial = true; s.lblCSerial = "AB\xC3\xA9"; },
         "Serial number can only contain alphanumeric values."},
        {"label short, not editable", [](auto& s) { s.hidden.txtSerial = true; s.lblCSerial = "AB9"; }, nullptr},
        {"pulse on text", [](auto& s) { s.txtPulseON = ""; }, "Pulse Rate must be numeric."},
        {"pulse on 256", [](auto& s) { s.txtPulseON = "256"; }, "Pulse Rate cannot be more than 255."},
        {"pulse on 0", [](auto& s) { s.txtPulseON = "0"; }, "Pulse Rate cannot be less than 1."},
        {"pulse off 0", [](auto& s) { s.txtPulseOFF = "0"; }, "Pulse Rate cannot be less than 1."},
        {"pulse off 256", [](auto& s) { s.txtPulseOFF = "256"; }, "Pulse Rate cannot be more than 255."},
        {"escrow 1.0", [](auto& s) { s.txtEscrowTime = "1.0"; }, nullptr},
        {"escrow 0.5", [](auto& s) { s.txtEscrowTime = "0.5"; }, "Escrow Time cannot be less than 1."},
        {"escrow text", [](auto& s) { s.txtEscrowTime = "1.0s"; }, "Escrow Time must be numeric."},
        {"escrow 0", [](auto& s) { s.txtEscrowTime = "0"; }, "Escrow Time cannot be less than 1."},
        {"escrow 256", [](auto& s) { s.txtEscrowTime = "256"; }, "Escrow Time cannot be more than 255."},
        {"escrow 1", [](auto& s) { s.txtEscrowTime = "1"; }, nullptr},
        {"escrow 255", [](auto& s) { s.txtEscrowTime = "255"; }, nullptr},
        {"escrow hidden", [](auto& s) { s.hidden.frmEscrowTime = true; s.txtEscrowTime = "0"; }, nullptr},
        {"iso hidden", [](auto& s) { s.hidden.txtMDBISO = true; s.txtMDBISO = "11023"; }, nullptr},
        {"mdb hidden", [](auto& s) { s.hidden.frmMDB = true; s.TextMDB[2] = "999"; }, nullptr},
    };
    for (const Case& c : cases) {
        ConfigScreenValues s = ValidScreen(7);
        c.edit(s);
        const FieldCheckResult r = Check(s);
        if (c.message) {
            EXPECT_FALSE(r.passed) << c.what;
            EXPECT_EQ(r.message, c.message) << c.what;
        } else {
            EXPECT_TRUE(r.passed) << c.what << ": " << r.message;
        }
    }
}

TEST(FieldChecks, SerialTitleAndLengthsByVariant)
{
    ConfigScreenValues s = ValidScreen(7);
    s.txtSerial = "AB-9087065";
    EXPECT_EQ(Check(s).title, "Bad serial number format");
    s = ValidScreen(7);
    s.txtSerial = "12345";
    EXPECT_EQ(Check(s, 1, 7).message, "Device serial no. must be 10 digits");
    s = ValidScreen(7);
    s.txtSerial = "12345678901";
    EXPECT_EQ(Check(s, 1, 7).message, "Device serial no. must be 10 digits");
    for (int variant : {5, 6, 7, 9}) {
        s = ValidScreen(variant);
        s.txtSerial = "12345678901";
        EXPECT_TRUE(Check(s, variant, variant).passed) << variant;
    }
    s = ValidScreen(5);
    s.TextPulse[0] = "65535";  // two bytes in layout 5/9
    EXPECT_TRUE(Check(s, 5, 5).passed);
    s.TextPulse[0] = "65536";
    EXPECT_EQ(Check(s, 5, 5).message, "Pulse assignment value range 0 to 65535");
}

TEST(FieldChecks, FirstFailureInTheFixedOrderWins)
{
    // Break every field, then mend them one by one in the checking order:
    // each step must report the next field's message.
    const std::vector<std::pair<std::function<void(ConfigScreenValues&, bool)>, const char*>> fields = {
        {[](auto& s, bool bad) { s.TextPulse[23] = bad ? "x" : "1"; }, "Pulse assignment value must be numeric only."},
        {[](auto& s, bool bad) { s.txtVend[0] = bad ? "x" : "1"; }, "Channel value must be numeric only."},
        {[](auto& s, bool bad) { s.TextMDB[0] = bad ? "x" : "1"; }, "MDB Base value must be numeric only."},
        {[](auto& s, bool bad) { s.txtCCAddress = bad ? "x" : "40"; }, "ccTalk device address must be numeric"},
        {[](auto& s, bool bad) { s.txtCCEncry = bad ? "x" : "123456"; }, "Encryption code must be numeric"},
        {[](auto& s, bool bad) { s.txtMDBISO = bad ? "x" : "0001"; }, "IDD/ISO code must be numeric"},
        {[](auto& s, bool bad) { s.txtScaling = bad ? "x" : "100"; }, "Scaling Factor must be numeric."},
        {[](auto& s, bool bad) { s.txtDecimal = bad ? "x" : "2"; }, "Decimal Place must be numeric."},
        {[](auto& s, bool bad) { s.txtSerial = bad ? "1" : "1234567890"; }, "Device serial no. must be 10 to 11 digits"},
        {[](auto& s, bool bad) { s.txtPulseON = bad ? "x" : "50"; }, "Pulse Rate must be numeric."},
        {[](auto& s, bool bad) { s.txtPulseOFF = bad ? "0" : "50"; }, "Pulse Rate cannot be less than 1."},
        {[](auto& s, bool bad) { s.txtEscrowTime = bad ? "x" : "30"; }, "Escrow Time must be numeric."},
    };
    ConfigScreenValues s = ValidScreen(7);
    for (const auto& f : fields)
        f.first(s, true);
    for (const auto& f : fields) {
        ConfigScreenValues copy = s;
        EXPECT_EQ(Check(copy).message, f.second);
        f.first(s, false);
    }
    EXPECT_TRUE(Check(s).passed);
}

TEST(FieldChecks, StopsAtTheFirstFailureLeavingLaterFieldsAlone)
{
    ConfigScreenValues s = ValidScreen(7);
    s.txtScaling = "0";
    s.TextMDB[0] = "";
    s.txtSerial = " 1234567890 ";
    EXPECT_EQ(Check(s).message, "Scaling Factor error");
    EXPECT_EQ(s.TextMDB[0], "0");           // tidied before the failure
    EXPECT_EQ(s.txtSerial, " 1234567890 ");  // after it: untouched
}

}  // namespace
}  // namespace kovrin
