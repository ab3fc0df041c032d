#include <gtest/gtest.h>

#include "app/config/eeprom_map.h"
#include "app/config/screen_values.h"
#include "tests/app/config/variant_scope.h"

namespace kovrin {
namespace {

using test::DefaultsFor;

// A record with something in every field the screen shows, and a serial
// number whose digits 3 to 10 give the ccTalk serial.
EepromRecord RichRecord(uint8_t variant)
{
    EepromRecord r = DefaultsFor(variant);
    r.InterfaceType = 7;
    r.SecurityMask = {0x81, 0x00, 0x41};
    r.ChannelEnableMask = {0xC0, 0x0F, 0xF1};
    r.PulsesPerUnit = 4;
    r.IsoCode = {0x09, 0x78};
    r.ScalingFactor = 65535;
    r.DecimalPlaces = 3;
    r.OptionFlags = 0x80 | 0x10 | 0x08;
    r.SignalFlags = 0x01 | 0x20 | 0x10 | 0x40 | 0x80;
    for (size_t i = 0; i < 24; ++i) {
        r.ChannelPulseAssignment[i] = int32_t(i * 10);
        r.ChannelVendAssignment[i] = uint8_t(255 - i);
    }
    for (size_t i = 0; i < 16; ++i)
        r.MdbChannelValue[i] = uint8_t(i * 3);
    r.PulseOnTime = 1;
    r.PulseOffTime = 255;
    r.EscrowTime = 17;
    r.CcTalkAddress = 2;
    r.CcTalkEncryptionCode = {0x21, 0x43, 0x65};  // "563412"
    r.CcTalkFlag = variant == 5 ? 1 : 0;
    const std::string serial = "AB12345678C";
    std::copy(serial.begin(), serial.end(), r.SerialNumber.begin());
    r.CcTalkSerialNumber = {0x4E, 0x61, 0xBC};  // 12345678
    return r;
}

ConfigScreenValues Shown(const EepromRecord& r, int variant)
{
    ConfigScreenValues s;
    ApplyVariantVisibility(s.hidden, variant);
    RecordToScreen(r, s);
    s.lblCSerial = std::string(r.SerialNumber.begin(), r.SerialNumber.end());
    return s;
}

EepromRecord ReadBack(ConfigScreenValues& s, const EepromRecord& old, int variant, std::string serial = {})
{
    ScreenReadResult got = ScreenToRecord(s, old, variant, serial);
    EXPECT_TRUE(got.record) << got.error;
    return got.record.value_or(EepromRecord{});
}

TEST(ScreenValues, ShownAndReadBackUnchangedForBothLayouts)
{
    for (uint8_t variant : {0, 5, 9, 6, 7}) {
        const EepromRecord r = RichRecord(variant);
        ConfigScreenValues s = Shown(r, variant);
        EXPECT_TRUE(ReadBack(s, r, variant) == r) << "variant " << int(variant);
        // The application defaults too, with the serial fields from the text.
        const EepromRecord d = DefaultsFor(variant);
        ConfigScreenValues ds = Shown(d, variant);
        EepromRecord expected = d;
        expected.CcTalkSerialNumber = {0, 0, 0};  // from the serial text "00000000000"
        expected.OptionFlags &= 0x80 | 0x02 | 0x10 | 0x08;  // bits no control shows become 0
        expected.SignalFlags &= 0x03 | 0x20 | 0x10 | 0x40 | 0x80;
        EXPECT_TRUE(ReadBack(ds, d, variant) == expected) << "defaults of variant " << int(variant);
    }
}

TEST(ScreenValues, ShowsTheRecordAsTexts)
{
    const EepromRecord r = RichRecord(7);
    const ConfigScreenValues s = Shown(r, 7);
    EXPECT_EQ(s.lstInterface.DisplayedText(), "ccTalk");
    EXPECT_EQ(s.lstPulse.DisplayedText(), "Four pulses");
    EXPECT_EQ(s.lstEnable.DisplayedText(), "Active High Enabled");
    EXPECT_EQ(s.lstVent.DisplayedText(), "Active High");
    EXPECT_EQ(s.lstAlarmSignal.DisplayedText(), "Active High");
    EXPECT_EQ(s.lstPullbackdetection.DisplayedText(), "LOW Security");
    EXPECT_EQ(s.txtMDBISO, "0978");
    EXPECT_EQ(s.txtCCEncry, "563412");
    EXPECT_EQ(s.txtScaling, "65535");
    EXPECT_EQ(s.TextPulse[23], "230");
    EXPECT_EQ(s.txtVend[0], "255");
    EXPECT_EQ(s.TextMDB[15], "45");
    EXPECT_TRUE(s.chkADU && s.chkCCTalk && s.chkBill_Hold && s.chkExit);
    // Channel 0 is bit 0x01 of the third mask byte, channel 23 bit 0x80 of the first.
    EXPECT_TRUE(s.SecurityHigh[0] && s.SecurityHigh[6] && s.SecurityHigh[23] && s.SecurityHigh[16]);
    EXPECT_FALSE(s.SecurityHigh[1] || s.SecurityHigh[8] || s.SecurityHigh[22]);
    EXPECT_TRUE(s.chkEnDis[0] && !s.chkEnDis[1] && s.chkEnDis[8] && !s.chkEnDis[12] && s.chkEnDis[22]);

    const ConfigScreenValues d = Shown(DefaultsFor(5), 5);
    EXPECT_EQ(d.txtCCEncry, "507913");
    EXPECT_EQ(d.txtMDBISO, "0001");
    EXPECT_EQ(d.lstEnable.DisplayedText(), "Always Enabled");
    EXPECT_EQ(d.lstPullbackdetection.DisplayedText(), "MED Security");
}

TEST(ScreenValues, ShowsOddRecordValuesAsTheirNearestEntry)
{
    EepromRecord r = DefaultsFor(7);
    r.InterfaceType = 12;
    r.PulsesPerUnit = 3;
    r.OptionFlags = 0x02;
    r.SignalFlags = 0x40;
    r.IsoCode = {0x1A, 0x23};
    const ConfigScreenValues s = Shown(r, 7);
    EXPECT_EQ(s.lstInterface.DisplayedText(), "Pulse");
    EXPECT_EQ(s.lstPulse.DisplayedText(), "One pulse");
    EXPECT_EQ(s.lstEnable.DisplayedText(), "Always Enabled");
    EXPECT_EQ(s.txtMDBISO, "11023");
}

TEST(ScreenValues, ReadBackClearsTheOptionBitsNoControlShows)
{
    EepromRecord r = RichRecord(7);
    r.OptionFlags = 0x01 | 0x04 | 0x20 | 0x40 | 0x02;
    r.SignalFlags = 0x04 | 0x08 | 0x40;
    ConfigScreenValues s = Shown(r, 7);
    s.chkExit = true;
    s.lstVent.selected = 1;
    const EepromRecord got = ReadBack(s, r, 7);
    EXPECT_EQ(got.OptionFlags, 0x02 | 0x80);
    // "Always Enabled" is shown for 0x02 with 0x40, so 0x40 goes.
    EXPECT_EQ(got.SignalFlags, 0x10);  // pull-back "OFF" from bits 0-1 clear
}

TEST(ScreenValues, LayoutSixDefaultsReadBackWithTheShownBitsOnly)
{
    EepromRecord r{};
    ASSERT_TRUE(LoadEepromDefaults(r, 7));
    ConfigScreenValues s = Shown(r, 7);
    const EepromRecord got = ReadBack(s, r, 7);
    EXPECT_EQ(got.OptionFlags, 0x02);
    EXPECT_EQ(got.SignalFlags, r.SignalFlags & (0x03 | 0x10 | 0x20 | 0x40 | 0x80));
}

TEST(ScreenValues, FractionsAreStoredAsTheirNearestWholeNumber)
{
    const EepromRecord r = RichRecord(7);
    const struct {
        std::string text;
        int32_t scaling;
    } cases[] = {{"100.0", 100}, {"1.5", 2}, {"2.5", 2}, {"2.51", 3}, {"1e2", 100}, {" 7 ", 7}};
    for (const auto& c : cases) {
        ConfigScreenValues s = Shown(r, 7);
        s.txtScaling = c.text;
        s.txtVend[4] = c.text;
        const EepromRecord got = ReadBack(s, r, 7);
        EXPECT_EQ(got.ScalingFactor, c.scaling) << c.text;
        EXPECT_EQ(got.ChannelVendAssignment[4], c.scaling) << c.text;
    }
}

TEST(ScreenValues, ReadBackExceptions)
{
    EepromRecord r = RichRecord(7);
    r.InterfaceType = 12;
    r.PulsesPerUnit = 3;
    ConfigScreenValues s = Shown(r, 7);
    s.txtVend[5] = "";
    s.lstPullbackdetection.selected = -1;
    s.lstEnable.selected = -1;
    const EepromRecord got = ReadBack(s, r, 7);
    EXPECT_EQ(got.InterfaceType, 0);
    EXPECT_EQ(got.PulsesPerUnit, 1);
    EXPECT_EQ(s.txtVend[5], "0");
    EXPECT_EQ(got.ChannelVendAssignment[5], 0);
    EXPECT_EQ(s.lstPullbackdetection.DisplayedText(), "MED Security");
    EXPECT_EQ(got.SignalFlags & 0x03, 2);
    EXPECT_EQ(got.OptionFlags & 0x02, 0);  // "Please Select": active low
    EXPECT_EQ(got.SignalFlags & 0x40, 0);
}

TEST(ScreenValues, NoteTypeFlagOnlyForVariantFive)
{
    for (int variant : {5, 7}) {
        EepromRecord r = RichRecord(uint8_t(variant));
        r.CcTalkFlag = 9;
        ConfigScreenValues s = Shown(r, variant);
        s.chkNoteType = false;
        const EepromRecord got = ReadBack(s, r, variant);
        EXPECT_EQ(got.CcTalkFlag, variant == 5 ? 0 : 9) << variant;
        EXPECT_EQ(s.hidden.chkNoteType, variant != 5);
    }
}

TEST(ScreenValues, HiddenControlsKeepTheRecordsValues)
{
    EepromRecord r = RichRecord(5);
    r.IsoCode = {0x1A, 0x23};  // not four digits on the screen
    ConfigScreenValues s = Shown(r, 5);
    s.TextMDB[3] = "junk";
    s.SecurityHigh.fill(false);
    s.chkADU = false;
    s.hidden.frmEscrowTime = s.hidden.chkBill_Hold = s.hidden.chkCCTalk = true;
    s.txtEscrowTime = "x";
    s.chkBill_Hold = s.chkCCTalk = false;
    const EepromRecord got = ReadBack(s, r, 5);
    EXPECT_EQ(got.IsoCode, r.IsoCode);
    EXPECT_EQ(got.MdbChannelValue, r.MdbChannelValue);
    EXPECT_EQ(got.SecurityMask, r.SecurityMask);
    EXPECT_EQ(got.EscrowTime, r.EscrowTime);
    EXPECT_EQ(got.OptionFlags, r.OptionFlags);
    EXPECT_EQ(got.SignalFlags, r.SignalFlags);
}

TEST(ScreenValues, SerialNumberFields)
{
    const EepromRecord r = RichRecord(7);
    const struct {
        std::string serial;
        std::array<uint8_t, 3> ccTalk;
        std::string stored;  // SerialNumber bytes after the read-back
    } cases[] = {
        {"0012345678 ", {0x4E, 0x61, 0xBC}, "0012345678 "},
        {"XY16777215Z", {0xFF, 0xFF, 0xFF}, "XY16777215Z"},
        {"XY16777216Z", {0x00, 0x00, 0x00}, "XY16777216Z"},  // beyond 24 bits: the low 24
        {"XY99999999Z", {0xFF, 0xE0, 0xF5}, "XY99999999Z"},  // 99999999 = 0x5F5E0FF
        {"123456789", r.CcTalkSerialNumber, "123456789" + std::string("8C")},  // short: old bytes stay
    };
    for (const auto& c : cases) {
        ConfigScreenValues s = Shown(r, 7);
        s.lblCSerial = c.serial;
        const EepromRecord got = ReadBack(s, r, 7, c.serial);
        EXPECT_EQ(got.CcTalkSerialNumber, c.ccTalk) << c.serial;
        EXPECT_EQ(std::string(got.SerialNumber.begin(), got.SerialNumber.end()), c.stored) << c.serial;
    }
}

TEST(ScreenValues, ReadBackRefusesValuesThatDoNotConvertAndStoresNothing)
{
    const EepromRecord r = RichRecord(7);
    const std::function<void(ConfigScreenValues&)> edits[] = {
        [](ConfigScreenValues& s) { s.txtScaling = "x"; },
        [](ConfigScreenValues& s) { s.txtScaling = "0.4"; },  // would store 0
        [](ConfigScreenValues& s) { s.TextPulse[3] = "256"; },  // one byte in layout 6/7
        [](ConfigScreenValues& s) { s.txtVend[0] = "300"; },
        [](ConfigScreenValues& s) { s.txtCCEncry = "12345"; },
        [](ConfigScreenValues& s) { s.txtMDBISO = "12"; },
        [](ConfigScreenValues& s) { s.txtEscrowTime = "2.56e2"; },
        [](ConfigScreenValues& s) { s.lblCSerial = "XY1234A678Z"; },  // no ccTalk serial number in it
    };
    for (const auto& edit : edits) {
        ConfigScreenValues s = Shown(r, 7);
        edit(s);
        std::string serial;
        const ScreenReadResult got = ScreenToRecord(s, r, 7, serial);
        EXPECT_FALSE(got.record);
        EXPECT_FALSE(got.error.empty());
    }
}

TEST(ScreenValues, ChannelBitPlacement)
{
    std::array<uint8_t, 3> mask{};
    SetChannelBit(mask, 0, true);
    EXPECT_EQ(mask, (std::array<uint8_t, 3>{0, 0, 0x01}));
    SetChannelBit(mask, 23, true);
    SetChannelBit(mask, 9, true);
    EXPECT_EQ(mask, (std::array<uint8_t, 3>{0x80, 0x02, 0x01}));
    SetChannelBit(mask, 0, false);
    EXPECT_FALSE(ChannelBit(mask, 0));
    EXPECT_TRUE(ChannelBit(mask, 23));
}

TEST(ScreenValues, StatusLineTexts)
{
    const struct {
        int32_t source;
        std::string path;
        int32_t colour;
        std::string text;
    } cases[] = {
        {0, "", 0x0000FF, "Warning!  Application default configuration settings loaded."},
        {1, "C:\\configs\\Shop.tyx", 0x00FFFF, "Configuration settings loaded from file Shop.tyx."},
        {1, "/home/u/Tekra.tyx", 0x00FFFF, "Configuration settings loaded from file Tekra.tyx."},
        {1, "Plain.tyx", 0x00FFFF, "Configuration settings loaded from file Plain.tyx."},
        {2, "", 0x00FFFF, "Factory default configuration settings from note acceptor loaded."},
        {3, "", 0x00FF00, "Current attached note acceptor configuration settings loaded."},
        {4, "", 0x0000FF, "Warning!  No configuration loaded."},
        {-1, "", 0x0000FF, "Warning!  No configuration loaded."},
    };
    for (const auto& c : cases) {
        const StatusLine line = StatusLineFor(c.source, c.path);
        EXPECT_EQ(line.colour, c.colour) << c.source;
        EXPECT_EQ(line.text, c.text) << c.source;
    }
}

TEST(ScreenValues, EncryptionCodeMasking)
{
    const struct {
        const char* text;
        bool masked;
    } cases[] = {{"12345", false}, {"123456", true}, {"507913", false}, {"1234567", false}, {"", false},
                 {"abcdef", true}};
    for (const auto& c : cases)
        EXPECT_EQ(EncryptionCodeMasked(c.text), c.masked) << c.text;
}

TEST(ScreenValues, MdbEntryGoesOnceForTheSarnelVariantOnly)
{
    OptionListValue list = OptionListValue::Of(InterfaceOptions());
    list.selected = 7;
    EXPECT_FALSE(RemoveMdbEntryForVariant(list, 7));
    EXPECT_FALSE(RemoveMdbEntryForVariant(list, 0));
    EXPECT_EQ(list.entries.size(), 10u);
    EXPECT_TRUE(RemoveMdbEntryForVariant(list, 5));
    EXPECT_EQ(list.entries.size(), 9u);
    EXPECT_EQ(list.entries[4].code, 5);
    EXPECT_EQ(list.DisplayedText(), "ccTalk");  // the selection stays on its entry
    EXPECT_FALSE(RemoveMdbEntryForVariant(list, 5));
    EXPECT_EQ(list.entries.size(), 9u);
    // A record for the MDB interface now shows "Pulse".
    list.SelectCodeOrFirst(4);
    EXPECT_EQ(list.DisplayedText(), "Pulse");
}

TEST(ScreenValues, VariantsWithoutALayoutSaySo)
{
    for (int v : {1, 2, 3, 4, 8, 10})
        EXPECT_NE(NoLayoutText(v), "") << v;
    for (int v : {0, 5, 6, 7, 9})
        EXPECT_EQ(NoLayoutText(v), "") << v;
}

}  // namespace
}  // namespace kovrin
