#include "app/mainwindow/access_codes.h"

#include <gtest/gtest.h>

namespace kovrin {
namespace {

TEST(AccessCodesTest, ExactCodesAndNearMisses)
{
    struct Case {
        const char* code;
        AccessCode kind;
    };
    const Case cases[] = {
        {"plovern", AccessCode::SerialEdit},
        {"DaxSupport", AccessCode::Administrator},
        {"PalCountZTR", AccessCode::AuditMenu},
        {"Plovern", AccessCode::Other},
        {"plovern ", AccessCode::Other},
        {" plovern", AccessCode::Other},
        {"plover", AccessCode::Other},
        {"PLOVERN", AccessCode::Other},
        {"daxsupport", AccessCode::Other},
        {"DaxSupport\n", AccessCode::Other},
        {"DaxSuppor", AccessCode::Other},
        {"PalCountZtr", AccessCode::Other},
        {"PalCountZTRX", AccessCode::Other},
        {"", AccessCode::Other},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClassifyAccessCode(c.code), c.kind) << '"' << c.code << '"';
}

TEST(AccessCodesTest, EffectOfEachCode)
{
    struct Case {
        const char* code;
        bool accepted;
        AccessCodeEffect effect;
    };
    const Case cases[] = {
        {"plovern", false, {1, true, false, std::nullopt, true}},
        {"DaxSupport", true, {2, true, false, true, true}},
        // Refused warning: only the audit menu changes and the dialog stays open.
        {"DaxSupport", false, {std::nullopt, std::nullopt, false, std::nullopt, false}},
        {"PalCountZTR", false, {std::nullopt, std::nullopt, true, std::nullopt, true}},
        {"PalCountZTR", true, {std::nullopt, std::nullopt, true, std::nullopt, true}},
        {"wrong", true, {0, false, false, false, true}},
        {"", false, {0, false, false, false, true}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EffectOfAccessCode(c.code, c.accepted), c.effect) << c.code << " " << c.accepted;
}

}  // namespace
}  // namespace kovrin
