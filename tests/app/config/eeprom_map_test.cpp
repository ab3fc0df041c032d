#include <gtest/gtest.h>

#include <functional>

#include "app/config/eeprom_map.h"
#include "tests/app/config/image_fixture.h"
#include "tests/app/config/variant_scope.h"

namespace kovrin {
namespace {

using test::ImageFromHex;
using test::Pattern;
using test::PatternImage;

using test::Attached;
using test::DefaultsFor;

TEST(EepromDefaults, Layout59EncodesToTheHandWrittenImage)
{
    ProgramState state = Attached(5);
    EepromRecord r;
    ASSERT_TRUE(state.LoadEepromDefaults(r));
    EXPECT_EQ(state.EepromLength, 176);
    EepromImage image{};
    ASSERT_TRUE(EncodeEepromImage(r, image));
    EXPECT_EQ(image, ImageFromHex(test::kDefaultsV5Hex));
}

TEST(EepromDefaults, Layout67EncodesToTheHandWrittenImage)
{
    ProgramState state = Attached(7);
    EepromRecord r;
    ASSERT_TRUE(state.LoadEepromDefaults(r));
    EXPECT_EQ(state.EepromLength, 143);
    EepromImage image{};
    ASSERT_TRUE(EncodeEepromImage(r, image));
    EXPECT_EQ(image, ImageFromHex(test::kDefaultsV6Hex));
}

TEST(EepromDefaults, Layout67SetsTheFieldsNoImageByteHolds)
{
    EepromRecord r;
    r.AuditCounters.fill(9);
    r.Bytes232.fill(9);
    LoadEepromDefaults(r, 6);
    EXPECT_EQ(r.Block208[5], 160);
    EXPECT_EQ(r.Block208[6], 47);
    EXPECT_EQ(r.Block208[17], 0);
    EXPECT_EQ(r.Block220[11], 103);
    EXPECT_EQ(r.ExtraByte, 127);
    EXPECT_EQ(r.Block194[6], 155);
    // Those it leaves alone.
    EXPECT_EQ(r.AuditCounters[0], 9);
    EXPECT_EQ(r.Bytes232[5], 9);
}

TEST(EepromDefaults, NoAcceptorYetUsesLayout59WithVariantZero)
{
    ProgramState state = Attached(0);
    EepromRecord r;
    ASSERT_TRUE(state.LoadEepromDefaults(r));
    EXPECT_EQ(r.VariantCode, 0);
    EXPECT_EQ(r.OptionFlags, 0x92);
    EXPECT_EQ(state.EepromLength, 176);
}

// Each row: a field and the image byte(s) it comes from, read off the byte maps.
struct FieldAt {
    const char* name;
    std::function<long(const EepromRecord&)> get;
    long expected;
};

long BE(int i) { return Pattern(i) * 256 + Pattern(i + 1); }

TEST(EepromDecode, Layout59FieldsComeFromTheirBytes)
{
    ProgramState state = Attached(9);
    EepromRecord r;
    ASSERT_TRUE(state.DecodeEepromImage(r, PatternImage(), 0));
    const FieldAt rows[] = {
        {"InterfaceType", [](auto& r) { return r.InterfaceType; }, Pattern(1)},
        {"SecurityMask[2]", [](auto& r) { return r.SecurityMask[2]; }, Pattern(4)},
        {"ChannelEnableMask[0]", [](auto& r) { return r.ChannelEnableMask[0]; }, Pattern(5)},
        {"IsoCode[1]", [](auto& r) { return r.IsoCode[1]; }, Pattern(10)},
        {"ScalingFactor", [](auto& r) { return r.ScalingFactor; }, BE(11)},
        {"SignalFlags", [](auto& r) { return r.SignalFlags; }, Pattern(15)},
        {"ChannelPulseAssignment[0]", [](auto& r) { return r.ChannelPulseAssignment[0]; }, BE(16)},
        {"ChannelPulseAssignment[23]", [](auto& r) { return r.ChannelPulseAssignment[23]; }, BE(62)},
        {"ChannelVendAssignment[0]", [](auto& r) { return r.ChannelVendAssignment[0]; }, Pattern(64)},
        {"MdbChannelValue[15]", [](auto& r) { return r.MdbChannelValue[15]; }, Pattern(103)},
        {"PulseOnTime", [](auto& r) { return r.PulseOnTime; }, Pattern(104)},
        {"EscrowTime", [](auto& r) { return r.EscrowTime; }, Pattern(106)},
        {"CcTalkAddress", [](auto& r) { return r.CcTalkAddress; }, Pattern(108)},
        {"CcTalkEncryptionCode[0]", [](auto& r) { return r.CcTalkEncryptionCode[0]; }, Pattern(109)},
        {"CcTalkFlag", [](auto& r) { return r.CcTalkFlag; }, Pattern(115)},
        {"Byte131", [](auto& r) { return r.Byte131; }, Pattern(131)},
        {"SerialNumber[10]", [](auto& r) { return r.SerialNumber[10]; }, Pattern(142)},
        {"AuditCounters[19]", [](auto& r) { return r.AuditCounters[19]; }, Pattern(162)},
        {"Block163[12]", [](auto& r) { return r.Block163[12]; }, Pattern(175)},
        {"Block176[0]", [](auto& r) { return r.Block176[0]; }, Pattern(176)},
        {"Block208[11]", [](auto& r) { return r.Block208[11]; }, Pattern(219)},
        {"Bytes232[0]", [](auto& r) { return r.Bytes232[0]; }, Pattern(232)},
        {"Block244[5]", [](auto& r) { return r.Block244[5]; }, Pattern(249)},
        {"SetupRevision", [](auto& r) { return r.SetupRevision; }, Pattern(251)},
        {"VariantCode", [](auto& r) { return r.VariantCode; }, Pattern(252)},
        {"EndWord", [](auto& r) { return r.EndWord; }, BE(254)},
        {"Word80 untouched", [](auto& r) { return r.Word80; }, 0},
        {"Block208[12] untouched", [](auto& r) { return r.Block208[12]; }, 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.get(r), row.expected) << row.name;
    EXPECT_EQ(state.EepromLength, 176);
}

TEST(EepromDecode, Layout67FieldsComeFromTheirBytes)
{
    ProgramState state = Attached(6);
    state.EepromLength = 42;
    EepromRecord r;
    ASSERT_TRUE(state.DecodeEepromImage(r, PatternImage(), 0));
    const FieldAt rows[] = {
        {"ScalingFactor", [](auto& r) { return r.ScalingFactor; }, BE(11)},
        {"ChannelPulseAssignment[0]", [](auto& r) { return r.ChannelPulseAssignment[0]; }, Pattern(16)},
        {"ChannelPulseAssignment[23]", [](auto& r) { return r.ChannelPulseAssignment[23]; }, Pattern(39)},
        {"ChannelVendAssignment[0]", [](auto& r) { return r.ChannelVendAssignment[0]; }, Pattern(40)},
        {"MdbChannelValue[0]", [](auto& r) { return r.MdbChannelValue[0]; }, Pattern(64)},
        {"Word80", [](auto& r) { return r.Word80; }, BE(80)},
        {"EscrowTime", [](auto& r) { return r.EscrowTime; }, Pattern(82)},
        {"Byte107", [](auto& r) { return r.Byte107; }, Pattern(83)},
        {"CcTalkAddress", [](auto& r) { return r.CcTalkAddress; }, Pattern(84)},
        {"CcTalkSerialNumber[2]", [](auto& r) { return r.CcTalkSerialNumber[2]; }, Pattern(90)},
        {"Byte131", [](auto& r) { return r.Byte131; }, Pattern(91)},
        {"SerialNumber[0]", [](auto& r) { return r.SerialNumber[0]; }, Pattern(92)},
        {"PulseOnTime", [](auto& r) { return r.PulseOnTime; }, Pattern(103)},
        {"PulseOffTime", [](auto& r) { return r.PulseOffTime; }, Pattern(104)},
        {"ExtendedBlock[37]", [](auto& r) { return r.ExtendedBlock[37]; }, Pattern(142)},
        {"ExtendedBlock[38] untouched", [](auto& r) { return r.ExtendedBlock[38]; }, 0},
        {"Byte250", [](auto& r) { return r.Byte250; }, Pattern(250)},
        {"CalibrationRevision", [](auto& r) { return r.CalibrationRevision; }, Pattern(253)},
        {"EndWord", [](auto& r) { return r.EndWord; }, BE(254)},
        {"CcTalkFlag untouched", [](auto& r) { return r.CcTalkFlag; }, 0},
        {"AuditCounters[0] untouched", [](auto& r) { return r.AuditCounters[0]; }, 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.get(r), row.expected) << row.name;
    EXPECT_EQ(state.EepromLength, 42) << "the layout 6/7 decoder leaves the length alone";
}

TEST(EepromRoundTrip, Layout59ReproducesEveryByte)
{
    EepromRecord r;
    DecodeEepromImage(r, PatternImage(), 0, 5);
    r.VariantCode = 5;  // encoding follows the record's own variant
    EepromImage out{};
    ASSERT_TRUE(EncodeEepromImage(r, out));
    EepromImage expected = PatternImage();
    expected[252] = 5;
    EXPECT_EQ(out, expected);
}

TEST(EepromRoundTrip, Layout67WritesItsBytesAndKeeps143To249)
{
    EepromRecord r;
    DecodeEepromImage(r, PatternImage(), 0, 7);
    r.VariantCode = 7;
    for (int& v : r.ChannelPulseAssignment)
        v &= 0xFF;  // one byte per channel in this layout
    EepromImage out;
    out.fill(0xEE);
    ASSERT_TRUE(EncodeEepromImage(r, out));
    for (int i = 0; i < 256; ++i) {
        const uint8_t expected = (i >= 143 && i <= 249) ? 0xEE : (i == 252 ? 7 : Pattern(i));
        EXPECT_EQ(out[i], expected) << "byte " << i;
    }
}

TEST(EepromDecode, PartialDecodeStopsAtTheLeadingPart)
{
    struct Case {
        uint8_t variant;
        int firstUntouched;  // image byte after the leading part
    };
    for (const Case c : {Case{5, 176}, Case{7, 143}}) {
        EepromRecord before;
        before.Block176.fill(1);
        before.Block244.fill(2);
        before.Byte250 = 3;
        before.SetupRevision = 4;
        before.VariantCode = 5;
        before.CalibrationRevision = 6;
        before.EndWord = 7;
        EepromRecord r = before;
        DecodeEepromImage(r, PatternImage(), 1, c.variant);
        EXPECT_EQ(r.Block176, before.Block176);
        EXPECT_EQ(r.Block244, before.Block244);
        EXPECT_EQ(r.Byte250, 3);
        EXPECT_EQ(r.SetupRevision, 4);
        EXPECT_EQ(r.VariantCode, 5);
        EXPECT_EQ(r.CalibrationRevision, 6);
        EXPECT_EQ(r.EndWord, 7);
        EXPECT_EQ(r.HeaderByte, Pattern(0)) << "the leading part is decoded";
        EXPECT_EQ(r.SerialNumber[10], Pattern(c.variant == 5 ? 142 : 102));
    }
}

TEST(EepromEncode, SixteenBitValuesAreBigEndian)
{
    EepromRecord r = DefaultsFor(5);
    r.ChannelPulseAssignment[5] = 300;
    EepromImage image{};
    ASSERT_TRUE(EncodeEepromImage(r, image));
    EXPECT_EQ(image[26], 0x01);
    EXPECT_EQ(image[27], 0x2C);
    EXPECT_EQ(image[11], 0x00);
    EXPECT_EQ(image[12], 0x64);
}

TEST(EepromEncode, RefusesValuesThatDoNotFitAndLeavesTheImage)
{
    struct Case {
        const char* name;
        uint8_t variant;
        std::function<void(EepromRecord&)> spoil;
    };
    const Case cases[] = {
        {"pulse 256 in one byte", 7, [](EepromRecord& r) { r.ChannelPulseAssignment[3] = 256; }},
        {"pulse 300 in one byte", 6, [](EepromRecord& r) { r.ChannelPulseAssignment[0] = 300; }},
        {"pulse 65536", 5, [](EepromRecord& r) { r.ChannelPulseAssignment[23] = 65536; }},
        {"negative scaling", 9, [](EepromRecord& r) { r.ScalingFactor = -1; }},
        {"scaling 70000", 7, [](EepromRecord& r) { r.ScalingFactor = 70000; }},
        {"word 80 too big", 6, [](EepromRecord& r) { r.Word80 = 65536; }},
        {"end word too big", 5, [](EepromRecord& r) { r.EndWord = 0x10000; }},
    };
    for (const Case& c : cases) {
        EepromRecord r = DefaultsFor(c.variant);
        c.spoil(r);
        EepromImage image = PatternImage();
        const CodecResult result = EncodeEepromImage(r, image);
        EXPECT_EQ(result.status, CodecStatus::ValueOutOfRange) << c.name;
        EXPECT_FALSE(result.message.empty()) << c.name;
        EXPECT_EQ(image, PatternImage()) << c.name;
    }
    // The limits themselves fit.
    EepromRecord r = DefaultsFor(7);
    r.ChannelPulseAssignment[0] = 255;
    r.ScalingFactor = 65535;
    EepromImage image{};
    EXPECT_TRUE(EncodeEepromImage(r, image));
    EXPECT_EQ(image[16], 255);
}

TEST(EepromDispatch, VariantsWithoutALayoutChangeNothingAndSaySo)
{
    for (int variant : {1, 2, 3, 4, 8, 10, 255}) {
        ProgramState state = Attached(static_cast<uint8_t>(variant));
        EepromRecord r;
        r.HeaderByte = 0xAB;
        const EepromRecord before = r;
        EXPECT_EQ(state.DecodeEepromImage(r, PatternImage(), 0).status, CodecStatus::NoLayout) << variant;
        EXPECT_EQ(state.LoadEepromDefaults(r).status, CodecStatus::NoLayout) << variant;
        EXPECT_EQ(r, before) << variant;

        r.VariantCode = static_cast<uint8_t>(variant);
        EepromImage image = PatternImage();
        EXPECT_EQ(EncodeEepromImage(r, image).status, CodecStatus::NoLayout) << variant;
        EXPECT_EQ(image, PatternImage()) << variant;
    }
    ProgramState none = Attached(0);
    EepromRecord r;
    EXPECT_EQ(none.DecodeEepromImage(r, PatternImage(), 0).status, CodecStatus::NoLayout);
}

TEST(EepromDispatch, EncodeFollowsTheRecordNotTheAttachedAcceptor)
{
    EepromRecord r = DefaultsFor(7);  // a layout 6/7 record, e.g. from a file
    EepromImage image{};  // with a variant 5 acceptor attached
    ASSERT_TRUE(EncodeEepromImage(r, image));
    EXPECT_EQ(image, ImageFromHex(test::kDefaultsV6Hex));
}

TEST(EepromDispatch, EntryPointsGoByTheAttachedAcceptor)
{
    // The variant given decides; the state's entry points give the attached acceptor's.
    for (int variant = 0; variant <= 10; ++variant) {
        const auto v = static_cast<uint8_t>(variant);
        EepromRecord byArgument, byAttached;
        byArgument.HeaderByte = byAttached.HeaderByte = 0xAB;
        ProgramState attached = Attached(v);
        DecodeEepromImage(byArgument, PatternImage(), 0, v);
        attached.DecodeEepromImage(byAttached, PatternImage(), 0);
        EXPECT_EQ(byArgument, byAttached) << "decode, variant " << variant;

        EepromRecord defaultsByArgument, defaultsByAttached;
        LoadEepromDefaults(defaultsByArgument, v);
        attached.LoadEepromDefaults(defaultsByAttached);
        EXPECT_EQ(defaultsByArgument, defaultsByAttached) << "defaults, variant " << variant;
    }
}

TEST(EepromLength, FollowsTheRecordBeingWritten)
{
    EXPECT_EQ(EepromLengthOf(DefaultsFor(5)), 176);
    EXPECT_EQ(EepromLengthOf(DefaultsFor(9)), 176);
    EXPECT_EQ(EepromLengthOf(DefaultsFor(6)), 143);
    EXPECT_EQ(EepromLengthOf(DefaultsFor(7)), 143);
    EXPECT_EQ(EepromLengthOf(DefaultsFor(0)), 0) << "a record of no acceptor is never written";
}

}  // namespace
}  // namespace kovrin
