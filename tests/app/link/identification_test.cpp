#include <gtest/gtest.h>

#include "app/link/acceptor_variant.h"
#include "app/link/identification.h"
#include "tests/support/reply_frame.h"

namespace kovrin {
namespace {

// Data bytes 5 onwards of an identification reply: variant, state, then the
// text area filled with distinct letters so a shifted field shows.
Bytes IdentData(uint8_t variant, uint8_t state, size_t frameLength)
{
    Bytes d(frameLength - FrameHeaderLength);
    for (size_t i = 0; i < d.size(); ++i)
        d[i] = uint8_t('A' + (i + 5) % 26);  // frame byte k holds 'A' + k % 26
    const std::pair<size_t, uint8_t> fixed[] = {{0, variant}, {1, state}, {18 - 5, 0x01}, {19 - 5, 0x80}};
    for (auto [at, value] : fixed)
        if (at < d.size())
            d[at] = value;
    return d;
}

std::string Letters(int first, int last)
{
    std::string s;
    for (int k = first; k <= last; ++k)
        s += char('A' + k % 26);
    return s;
}

TEST(Identification, FieldsByVariantAndLength)
{
    struct Case {
        uint8_t variant;
        size_t length;
        int serialEnd, softwareEnd, versionFirst;
    };
    const Case cases[] = {
        {5, 47, 17, 40, 42}, {5, 46, 17, 40, 40}, {7, 47, 17, 40, 42}, {7, 46, 17, 40, 40},
        {9, 47, 17, 39, 40}, {6, 47, 16, 39, 40}, {1, 46, 16, 39, 40}, {4, 46, 16, 39, 40},
        {12, 46, 16, 39, 40},
    };
    for (const Case& c : cases) {
        const auto r = ParseIdentification(test::ReplyFrame(0x06, IdentData(c.variant, 0, c.length)));
        ASSERT_TRUE(r) << int(c.variant) << "/" << c.length;
        EXPECT_EQ(r->variant, c.variant);
        EXPECT_EQ(r->serial, Letters(7, c.serialEnd)) << int(c.variant) << "/" << c.length;
        EXPECT_EQ(r->info, Letters(20, 29));
        EXPECT_EQ(r->software, Letters(30, c.softwareEnd)) << int(c.variant) << "/" << c.length;
        EXPECT_EQ(r->version, Letters(c.versionFirst, c.versionFirst + 3)) << int(c.variant) << "/" << c.length;
        EXPECT_EQ(r->memoryReadAddress, 0x0180);
    }
}

TEST(Identification, BootLoaderTextsHaveThePlainLayout)
{
    const auto r = ParseIdentification(test::ReplyFrame(0x06, IdentData(5, 0x99, 47)), false);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->unitState, 0x99);
    EXPECT_EQ(r->software, Letters(30, 39));
    EXPECT_EQ(r->version, Letters(40, 43));
}

TEST(Identification, ShortFramesAreRefused)
{
    // The version of a frame this short would run into the check byte or past the end.
    for (size_t length : {size_t(6), size_t(20), size_t(44)})
        EXPECT_FALSE(ParseIdentification(test::ReplyFrame(0x06, IdentData(5, 0, length)))) << length;
    EXPECT_TRUE(ParseIdentification(test::ReplyFrame(0x06, IdentData(5, 0, 45))));
}

TEST(AcceptorVariant, NamesAndAddresses)
{
    const struct {
        int code;
        const char* name;
        uint8_t address;
    } rows[] = {
        {1, "Orvel", 0},       {2, "Dastin", 0},      {3, "Production", 4}, {4, "Dastin Plus", 4},
        {5, "Tyx Sarnel", 4},  {6, "Orvxel Plus", 4}, {7, "Tyx Tekra", 4},  {8, "Pellot", 0},
        {9, "Dastin ++", 4},   {0, "UNKNOWN", 0},     {12, "UNKNOWN", 0},   {255, "UNKNOWN", 0},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(VariantName(row.code), row.name) << row.code;
        EXPECT_EQ(FrameAddressOf(row.code), row.address) << row.code;
    }
}

TEST(VariantControls, ByVariantAndTheVersionShown)
{
    const std::optional<bool> keep, show = true, hide = false;
    const struct {
        int variant;
        const char* version;
        std::optional<bool> checkBoxes, escrow;
    } rows[] = {
        {5, "", hide, hide},        {5, "0037", hide, hide}, {5, "0038", show, hide}, {5, "0039", show, hide},
        {5, "0040", show, show},    {5, "0100", show, show}, {5, "0000", hide, hide}, {7, "", show, keep},
        {7, "0010", show, keep},    {6, "0043", keep, keep}, {9, "0043", keep, keep}, {0, "", keep, keep},
    };
    for (const auto& row : rows) {
        const VariantControls c = VariantControlsFor(row.variant, row.version);
        EXPECT_EQ(c.billHoldAndCcTalk, row.checkBoxes) << row.variant << " " << row.version;
        EXPECT_EQ(c.escrowTime, row.escrow) << row.variant << " " << row.version;
    }
}

}  // namespace
}  // namespace kovrin
