#include "app/link/audit_counters.h"

#include <gtest/gtest.h>

#include "tests/support/audit_frames.h"

namespace kovrin {
namespace {

using test::Block;
using test::PutBits;
using test::ReplyFrame;

const QLocale UsEnglish(QLocale::English, QLocale::UnitedStates);

std::span<const uint8_t> Span(const Block& b)
{
    return {b.data(), b.size()};
}

struct FieldCase {
    const char* name;
    uint32_t AuditCounterBlock::*field;
    int firstBit;
    int width;
};

const FieldCase Fields[] = {
    {"motor starts", &AuditCounterBlock::MotorStarts, 0, 20},
    {"pre-escrows", &AuditCounterBlock::PreEscrows, 20, 19},
    {"stacked", &AuditCounterBlock::Stacked, 39, 19},
    {"rejected", &AuditCounterBlock::Rejects, 58, 19},
    {"returned", &AuditCounterBlock::Returns, 77, 19},
    {"cheats", &AuditCounterBlock::Cheats, 96, 19},
    {"jams", &AuditCounterBlock::Jams, 115, 19},
    {"power-ups", &AuditCounterBlock::PowerUps, 134, 14},
    {"days", &AuditCounterBlock::DaysSince2010, 148, 12},
};

TEST(AuditCounterBlockTest, EachFieldAtItsMaximumLeavesTheOthersZero)
{
    for (const FieldCase& c : Fields) {
        SCOPED_TRACE(c.name);
        Block b{};
        const uint32_t max = (uint32_t(1) << c.width) - 1;
        PutBits(b, c.firstBit, c.width, max);
        const auto decoded = DecodeAuditCounterBlock(Span(b));
        ASSERT_TRUE(decoded);
        AuditCounterBlock expected;
        expected.*c.field = max;
        EXPECT_EQ(*decoded, expected);
    }
}

TEST(AuditCounterBlockTest, EveryBitBelongsToExactlyOneField)
{
    // All bits set: every field is at its maximum, so no field overlaps or leaves a gap.
    Block b;
    b.fill(0xFF);
    const auto d = DecodeAuditCounterBlock(Span(b));
    ASSERT_TRUE(d);
    for (const FieldCase& c : Fields)
        EXPECT_EQ((*d).*c.field, (uint32_t(1) << c.width) - 1) << c.name;
}

TEST(AuditCounterBlockTest, FirstThreeBytesGiveTwentyBitsOfMotorStarts)
{
    Block b{};
    b[0] = 0xFF;
    b[1] = 0xFF;
    b[2] = 0x0F;
    const AuditBoxTexts t = AuditTextsFromBlock(*DecodeAuditCounterBlock(Span(b)), UsEnglish);
    EXPECT_EQ(t.txtMotStarts, "1048575");
    for (const QString& other : {t.txtPreEscrows, t.txtStacked, t.txtRejects, t.txtReturns, t.txtCheats, t.txtJams,
                                 t.txtPowerUp})
        EXPECT_EQ(other, "0");
    EXPECT_EQ(AuditDate(0), QDate(2010, 1, 1));
    EXPECT_EQ(t.txtTimestamp, UsEnglish.toString(QDate(2010, 1, 1), QLocale::ShortFormat));
}

TEST(AuditCounterBlockTest, BitsEitherSideOfEachBoundaryGoToTheRightField)
{
    struct Case {
        int bit;
        uint32_t AuditCounterBlock::*field;
        uint32_t value;
    };
    const Case cases[] = {
        {19, &AuditCounterBlock::MotorStarts, 1u << 19}, {20, &AuditCounterBlock::PreEscrows, 1},
        {38, &AuditCounterBlock::PreEscrows, 1u << 18},  {39, &AuditCounterBlock::Stacked, 1},
        {57, &AuditCounterBlock::Stacked, 1u << 18},     {58, &AuditCounterBlock::Rejects, 1},
        {76, &AuditCounterBlock::Rejects, 1u << 18},     {77, &AuditCounterBlock::Returns, 1},
        {95, &AuditCounterBlock::Returns, 1u << 18},     {96, &AuditCounterBlock::Cheats, 1},
        {114, &AuditCounterBlock::Cheats, 1u << 18},     {115, &AuditCounterBlock::Jams, 1},
        {133, &AuditCounterBlock::Jams, 1u << 18},       {134, &AuditCounterBlock::PowerUps, 1},
        {147, &AuditCounterBlock::PowerUps, 1u << 13},   {148, &AuditCounterBlock::DaysSince2010, 1},
        {159, &AuditCounterBlock::DaysSince2010, 1u << 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bit);
        Block b{};
        PutBits(b, c.bit, 1, 1);
        AuditCounterBlock expected;
        expected.*c.field = c.value;
        EXPECT_EQ(*DecodeAuditCounterBlock(Span(b)), expected);
    }
}

TEST(AuditCounterBlockTest, DayCountIsAddedToTheFirstOfJanuary2010)
{
    Block b{};
    PutBits(b, 148, 1, 1);
    const auto d = DecodeAuditCounterBlock(Span(b));
    EXPECT_EQ(AuditDate(d->DaysSince2010), QDate(2010, 1, 2));
    EXPECT_EQ(AuditTimestampText(d->DaysSince2010, UsEnglish), "1/2/10");
    EXPECT_EQ(AuditTimestampText(1, QLocale(QLocale::German, QLocale::Germany)), "02.01.10");
    EXPECT_EQ(AuditDate(365), QDate(2011, 1, 1));
    EXPECT_EQ(AuditDate(4095), QDate(2021, 3, 19));
}

TEST(AuditCounterBlockTest, FewerThanTwentyBytesDecodeToNothing)
{
    const uint8_t bytes[19] = {};
    EXPECT_FALSE(DecodeAuditCounterBlock(std::span<const uint8_t>(bytes, 19)));
}

TEST(AuditReplyTest, VersionTextsChooseTheLayoutByTextComparison)
{
    struct Case {
        const char* version;
        bool older;
    };
    // "016" and "9" are numerically below 17 but not as text.
    const Case cases[] = {{"0016", true}, {"0017", false}, {"0018", false}, {"0100", false}, {"", true},
                          {"001", true},  {"016", false},  {"9", false},    {"0016Z", true}};
    for (const Case& c : cases)
        EXPECT_EQ(IsOlderAuditReply(c.version), c.older) << c.version;
    EXPECT_TRUE(IsOlderAuditRecord("0042"));
    EXPECT_FALSE(IsOlderAuditRecord("0043"));
    EXPECT_FALSE(IsOlderAuditRecord("0044"));
}

TEST(AuditReplyTest, PackedReplyFillsAllNineBoxes)
{
    Block b{};
    PutBits(b, 0, 20, 12345);
    PutBits(b, 20, 19, 11);
    PutBits(b, 39, 19, 22);
    PutBits(b, 58, 19, 33);
    PutBits(b, 77, 19, 44);
    PutBits(b, 96, 19, 55);
    PutBits(b, 115, 19, 66);
    PutBits(b, 134, 14, 77);
    PutBits(b, 148, 12, 31);
    const Bytes frame = ReplyFrame(0x35, {b.begin(), b.end()});
    const auto t = AuditTextsFromReply(frame, "0017", UsEnglish);
    ASSERT_TRUE(t);
    AuditBoxTexts expected{"11", "66", "44", "2/1/10", "77", "55", "33", "22", "12345"};
    EXPECT_EQ(*t, expected);
}

TEST(AuditReplyTest, OlderReplyShowsDateTimeBigEndianCountersAndNotAvailable)
{
    const Bytes frame =
        ReplyFrame(0x35, test::OlderReplyData({9, 12, 25, 7, 5}, {1, 256, 65536, 16777216, 0x01020304}));
    const auto t = AuditTextsFromReply(frame, "0016", UsEnglish);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->txtTimestamp, "12/25/09 07:05");
    EXPECT_EQ(t->txtMotStarts, "1");
    EXPECT_EQ(t->txtStacked, "256");
    EXPECT_EQ(t->txtRejects, "65536");
    EXPECT_EQ(t->txtCheats, "16777216");
    EXPECT_EQ(t->txtPowerUp, "16909060");
    EXPECT_EQ(t->txtPreEscrows, "N/A");
    EXPECT_EQ(t->txtReturns, "N/A");
    EXPECT_EQ(t->txtJams, "N/A");
}

TEST(AuditReplyTest, OlderCountersWithTheTopBitSetAreShownUnsigned)
{
    const Bytes frame = ReplyFrame(
        0x35, test::OlderReplyData({10, 1, 1, 0, 0}, {0xFFFFFFFF, 0x80000000, 0x7FFFFFFF, 0xFFFFFFFE, 0x80000001}));
    const auto t = AuditTextsFromReply(frame, "0010", UsEnglish);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->txtMotStarts, "4294967295");
    EXPECT_EQ(t->txtStacked, "2147483648");
    EXPECT_EQ(t->txtRejects, "2147483647");
    EXPECT_EQ(t->txtCheats, "4294967294");
    EXPECT_EQ(t->txtPowerUp, "2147483649");
}

TEST(AuditReplyTest, FramesShorterThanTheirLayoutAreNotRead)
{
    Bytes packed = ReplyFrame(0x35, std::vector<uint8_t>(20, 0xFF));
    EXPECT_TRUE(AuditTextsFromReply(packed, "0017", UsEnglish));
    packed.pop_back();  // block's last byte would be the check byte
    EXPECT_FALSE(AuditTextsFromReply(packed, "0017", UsEnglish));
    EXPECT_FALSE(AuditTextsFromReply(Bytes{0x27, 0x08, 6, 250, 0x35, 0}, "0017", UsEnglish));

    Bytes older = ReplyFrame(0x35, test::OlderReplyData({1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}));
    EXPECT_TRUE(AuditTextsFromReply(older, "0016", UsEnglish));
    older.pop_back();
    EXPECT_FALSE(AuditTextsFromReply(older, "0016", UsEnglish));
    // A packed-size reply is too short for the older layout.
    EXPECT_FALSE(AuditTextsFromReply(ReplyFrame(0x35, std::vector<uint8_t>(20, 0)), "0016", UsEnglish));
}

TEST(AuditRecordTest, RecentFirmwareRecordHoldsThePackedBlock)
{
    EepromRecord r;
    Block b{};
    PutBits(b, 0, 20, 1048575);
    PutBits(b, 134, 14, 16383);
    std::copy(b.begin(), b.end(), r.AuditCounters.begin());
    r.AuditCounters[25] = 0xFF;  // beyond the block, never read
    const AuditBoxTexts t = AuditTextsFromRecord(r, "0043", UsEnglish);
    EXPECT_EQ(t.txtMotStarts, "1048575");
    EXPECT_EQ(t.txtPowerUp, "16383");
    EXPECT_EQ(t.txtJams, "0");
    EXPECT_EQ(t.txtTimestamp, "1/1/10");
}

TEST(AuditRecordTest, OlderFirmwareRecordHasThreeByteGroupsAndAStampedDate)
{
    EepromRecord r;
    const uint8_t bytes[20] = {0x01, 0x02, 0x03, 0, 0, 9, 0xFF, 0xFF, 0xFF, 0, 1, 0, 0, 0, 0, 3, 4, 10, 9, 5};
    std::copy(std::begin(bytes), std::end(bytes), r.AuditCounters.begin());
    const AuditBoxTexts t = AuditTextsFromRecord(r, "0042", UsEnglish);
    EXPECT_EQ(t.txtMotStarts, "66051");
    EXPECT_EQ(t.txtStacked, "9");
    EXPECT_EQ(t.txtRejects, "16777215");
    EXPECT_EQ(t.txtCheats, "256");
    EXPECT_EQ(t.txtPowerUp, "0");
    EXPECT_EQ(t.txtTimestamp, "03/04/10 09:05");
    EXPECT_TRUE(t.txtPreEscrows.isEmpty());
    EXPECT_TRUE(t.txtReturns.isEmpty());
    EXPECT_TRUE(t.txtJams.isEmpty());
}

TEST(AuditLoadTest, OnlyAVariantFiveRecordReadFromTheAcceptorIsShown)
{
    EepromRecord r;
    r.AuditCounters[0] = 7;
    struct Case {
        uint8_t variant;
        int32_t source;
        bool boxes;
        bool note;
    };
    const Case cases[] = {
        {5, ConfigFromAcceptor, true, false}, {5, ConfigFromDefaults, false, true},
        {5, ConfigFromFile, false, true},     {5, ConfigFromFactory, false, true},
        {7, ConfigFromAcceptor, false, false}, {0, ConfigFromAcceptor, false, false},
        {9, ConfigFromAcceptor, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.variant) << " " << c.source);
        const AuditLoadTexts load = AuditTextsOnLoad(c.variant, c.source, r, "0043", UsEnglish);
        EXPECT_EQ(load.boxes.txtMotStarts, c.boxes ? "7" : "");
        EXPECT_EQ(load.boxes.txtTimestamp.isEmpty(), !c.boxes);
        EXPECT_EQ(load.note, c.note ? QString(AuditNotReadText) : QString());
    }
}

}  // namespace
}  // namespace kovrin
