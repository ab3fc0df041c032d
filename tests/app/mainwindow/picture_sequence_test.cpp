#include <gtest/gtest.h>

#include <vector>

#include "app/mainwindow/picture_sequence.h"

namespace kovrin {
namespace {

std::vector<int> Steps(PictureSequence& s, int v, int n, bool calibrated, bool flash = false)
{
    std::vector<int> shown;
    for (int i = 0; i < n; ++i)
        shown.push_back(s.Step(v, calibrated, flash));
    return shown;
}

TEST(PictureSequence, SequencesByVariant)
{
    struct Case {
        int variant;
        bool calibrated;
        bool flash;
        std::vector<int> shown;
    };
    const Case cases[] = {
        {0, true, false, {1, 1, 1}},
        {4, true, false, {2, 3, 4, 2, 3, 4}},
        {4, false, false, {3, 5, 3, 5}},
        {5, true, false, {2, 3, 4, 2}},
        {9, false, false, {3, 5, 3}},
        {5, true, true, {6, 6, 6}},
        {9, false, true, {6, 6}},
        {7, true, false, {2, 1, 2, 1}},
        {1, false, false, {2, 1, 2}},
        {2, true, false, {1, 1, 1}},
        {3, false, false, {1, 1}},
        {12, true, false, {1, 1}},  // unknown codes show the no-acceptor picture
        {-1, true, false, {1}},
    };
    for (const Case& c : cases) {
        PictureSequence s;
        EXPECT_EQ(Steps(s, c.variant, int(c.shown.size()), c.calibrated, c.flash), c.shown) << c.variant;
        EXPECT_GE(s.pictureVariant, 0);
        EXPECT_LE(s.pictureVariant, 9);
    }
}

TEST(PictureSequence, AChangeOfVariantRestartsTheSequence)
{
    PictureSequence s;
    Steps(s, 7, 3, true);
    EXPECT_EQ(s.Step(4, true, false), 2);
    PictureSequence t;
    Steps(t, 7, 3, true);
    EXPECT_EQ(t.Step(4, false, false), 3);
    // Calibration arriving mid-blink joins the ready cycle.
    PictureSequence u;
    EXPECT_EQ(Steps(u, 5, 2, false), (std::vector<int>{3, 5}));
    EXPECT_EQ(u.Step(5, true, false), 2);
}

}  // namespace
}  // namespace kovrin
