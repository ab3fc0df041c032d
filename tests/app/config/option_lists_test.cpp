#include <gtest/gtest.h>

#include <vector>

#include "app/config/option_lists.h"

namespace kovrin {
namespace {

struct Expected {
    std::string text;
    int32_t code;
};

std::vector<Expected> Entries(std::span<const OptionEntry> table)
{
    std::vector<Expected> out;
    for (const OptionEntry& e : table)
        out.push_back({e.text, e.code});
    return out;
}

bool operator==(const Expected& a, const Expected& b) { return a.text == b.text && a.code == b.code; }

TEST(OptionLists, EntriesCodesAndOrder)
{
    const struct {
        const char* list;
        std::span<const OptionEntry> table;
        std::vector<Expected> expected;
    } lists[] = {
        {"lstInterface", InterfaceOptions(),
         {{"Pulse", 0}, {"Parallel", 1}, {"Serial 600 (NISR)", 2}, {"RS232 / USB", 3}, {"MDB (NAMA)", 4},
          {"Parallel, Binary", 5}, {"Single Price", 6}, {"ccTalk", 7}, {"ICT002", 8}, {"IMC01", 9}}},
        {"lstEnable", EnableOptions(), {{"Always Enabled", 2}, {"Active Low Enabled", 0}, {"Active High Enabled", 0}}},
        {"lstPulse", PulseOptions(), {{"One pulse", 1}, {"Two pulses", 2}, {"Four pulses", 4}, {"Ten pulses", 10}}},
        {"lstAlarmSignal", AlarmSignalOptions(), {{"Active Low", 0}, {"Active High", 32}}},
        {"lstPullbackdetection", PullbackDetectionOptions(),
         {{"MED Security", 2}, {"HIGH Security", 3}, {"OFF", 0}, {"LOW Security", 1}}},
        {"lstVent", VentOptions(), {{"Active Low", 0}, {"Active High", 16}}},
    };
    for (const auto& l : lists)
        EXPECT_TRUE(Entries(l.table) == l.expected) << l.list;
}

TEST(OptionLists, ListStartsWithNoSelectionAndSelectsByCode)
{
    OptionListValue list = OptionListValue::Of(PullbackDetectionOptions());
    EXPECT_EQ(list.selected, -1);
    EXPECT_EQ(list.DisplayedText(), "Please Select");
    list.SelectCodeOrFirst(1);
    EXPECT_EQ(list.DisplayedText(), "LOW Security");
    list.SelectCodeOrFirst(7);  // no such code: the first entry
    EXPECT_EQ(list.DisplayedText(), "MED Security");
    list.selected = -1;
    list.SelectFirstIfNone();
    EXPECT_EQ(list.SelectedCode(), 2);
}

TEST(FieldRules, AllTenRows)
{
    constexpr bool X = true, o = false;
    // vend, pulse, MDB, ISO, scaling/decimal, alarm/enable, pulse/vent, ADU, ccTalk, pulse timing, escrow
    const FieldRule expected[] = {
        {"MDB (NAMA)", X, o, X, X, X, o, o, X, o, o, X},
        {"RS232 / USB", X, o, o, o, X, o, o, o, o, o, X},
        {"Serial 600 (NISR)", X, o, o, o, X, X, o, o, o, o, X},
        {"Pulse", X, X, o, o, o, X, X, o, o, X, o},
        {"Single Price", X, o, o, o, o, X, X, o, o, o, X},
        {"Parallel", X, o, o, o, o, X, X, o, o, o, X},
        {"Parallel, Binary", X, o, o, o, o, X, X, o, o, o, X},
        {"ccTalk", X, o, o, o, X, o, o, o, X, o, X},
        {"ICT002", X, o, o, o, X, o, o, o, o, o, X},
        {nullptr, X, X, X, X, X, X, X, X, X, X, X},
    };
    ASSERT_EQ(FieldRules().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const FieldRule& e = expected[i];
        const FieldRule& got = FieldRules()[i];
        EXPECT_EQ(std::string(got.text ? got.text : "-"), std::string(e.text ? e.text : "-"));
        FieldRule a = got, b = e;
        a.text = b.text = nullptr;
        EXPECT_TRUE(a == b) << "row " << i;
        if (e.text) {
            EXPECT_EQ(&FieldRuleFor(e.text), &FieldRules()[i]);
        }
    }
}

TEST(FieldRules, AnyOtherTextTakesTheLastRow)
{
    for (const char* text : {"IMC01", "Please Select", "", "pulse", "ccTalk ", "typed"})
        EXPECT_EQ(&FieldRuleFor(text), &FieldRules().back()) << text;
}

}  // namespace
}  // namespace kovrin
