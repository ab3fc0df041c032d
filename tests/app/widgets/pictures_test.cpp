#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>

#include <climits>
#include <memory>
#include <vector>

#include "app/widgets/pictures.h"

namespace kovrin {
namespace {

// Pixmaps need a GUI application; one lives for the whole run.
class GuiEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QGuiApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[16] = "pictures_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QGuiApplication> app_;
};

[[maybe_unused]] testing::Environment* const gui = testing::AddGlobalTestEnvironment(new GuiEnvironment);

QImage Pixels(const QPixmap& pixmap)
{
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

int OpaquePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 0;
    return count;
}

TEST(AcceptorPicture, EveryRequestGivesADrawnPictureOfTheFixedSize)
{
    for (int variant = -1; variant <= 10; ++variant) {
        for (int index = 0; index <= 7; ++index) {
            SCOPED_TRACE(testing::Message() << "variant " << variant << " index " << index);
            const QPixmap pixmap = AcceptorPicture(variant, index);
            ASSERT_FALSE(pixmap.isNull());
            EXPECT_EQ(pixmap.deviceIndependentSize().toSize(), AcceptorPictureSize());
            EXPECT_GT(OpaquePixels(Pixels(pixmap)), pixmap.width() * pixmap.height() / 10);
        }
    }
}

TEST(AcceptorPicture, UnknownVariantsShowNoAcceptorAndBadIndexesShowPictureOne)
{
    const QImage none = Pixels(AcceptorPicture(0, 1));
    for (int variant : {-1, 10, 11, 255, 256 + 4, INT_MIN, INT_MAX}) {
        for (int index = 1; index <= 6; ++index)
            EXPECT_EQ(Pixels(AcceptorPicture(variant, index)), none) << variant << " " << index;
    }
    for (int index = 2; index <= 6; ++index)
        EXPECT_EQ(Pixels(AcceptorPicture(0, index)), none) << index;
    for (int variant = 1; variant <= 9; ++variant) {
        const QImage first = Pixels(AcceptorPicture(variant, 1));
        for (int index : {-1, 0, 7, INT_MAX})
            EXPECT_EQ(Pixels(AcceptorPicture(variant, index)), first) << variant << " " << index;
    }
}

// The animation steps between these pictures (idle/on, the ready cycle, the
// not-calibrated blink, the boot loader), so any two equal ones would freeze it.
TEST(AcceptorPicture, AllSixPicturesOfAVariantDiffer)
{
    for (int variant = 1; variant <= 9; ++variant) {
        std::vector<QImage> pictures;
        for (int index = 1; index <= 6; ++index)
            pictures.push_back(Pixels(AcceptorPicture(variant, index)));
        for (size_t a = 0; a < pictures.size(); ++a)
            for (size_t b = a + 1; b < pictures.size(); ++b)
                EXPECT_NE(pictures[a], pictures[b]) << "variant " << variant << ": " << a + 1 << " and " << b + 1;
    }
}

TEST(AcceptorPicture, EveryVariantLooksDifferent)
{
    for (int index = 1; index <= 6; ++index) {
        for (int a = 0; a <= 9; ++a)
            for (int b = a + 1; b <= 9; ++b)
                EXPECT_NE(Pixels(AcceptorPicture(a, index)), Pixels(AcceptorPicture(b, index)))
                    << a << " and " << b << " picture " << index;
    }
}

TEST(AcceptorPicture, IsDrawnOnceAndThenShared)
{
    EXPECT_EQ(AcceptorPicture(5, 3).cacheKey(), AcceptorPicture(5, 3).cacheKey());
    EXPECT_EQ(AcceptorPicture(12, 3).cacheKey(), AcceptorPicture(0, 1).cacheKey());
}

int MaxSaturation(const QImage& image)
{
    int most = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = QColor::fromRgba(image.pixel(x, y));
            if (c.alpha() > 128)  // faint edge pixels carry rounding noise, not colour
                most = std::max(most, c.hsvSaturation());
        }
    return most;
}

TEST(ButtonPicture, ThreeDistinctIconsWithAGreyDisabledLook)
{
    std::vector<QImage> normals;
    for (int image = 1; image <= 3; ++image) {
        SCOPED_TRACE(image);
        const QIcon icon = ButtonPicture(image);
        ASSERT_FALSE(icon.isNull());
        for (int size : {16, 24, 48}) {
            const QPixmap normal = icon.pixmap(QSize(size, size), QIcon::Normal);
            const QPixmap disabled = icon.pixmap(QSize(size, size), QIcon::Disabled);
            ASSERT_FALSE(normal.isNull());
            EXPECT_EQ(normal.size(), QSize(size, size));
            EXPECT_EQ(disabled.size(), QSize(size, size));
            EXPECT_GT(OpaquePixels(Pixels(normal)), size * size / 8);
            EXPECT_NE(Pixels(normal), Pixels(disabled));
            EXPECT_GT(MaxSaturation(Pixels(normal)), 150);
            EXPECT_LT(MaxSaturation(Pixels(disabled)), 60);
        }
        normals.push_back(Pixels(icon.pixmap(QSize(48, 48))));
    }
    EXPECT_NE(normals[0], normals[1]);
    EXPECT_NE(normals[0], normals[2]);
    EXPECT_NE(normals[1], normals[2]);
    EXPECT_TRUE(ButtonPicture(0).isNull());
    EXPECT_TRUE(ButtonPicture(4).isNull());
}

TEST(ProgramIcon, IsDrawnFromSmallToLarge)
{
    const QIcon icon = ProgramIcon();
    ASSERT_FALSE(icon.isNull());
    for (int size : {16, 32, 256}) {
        const QPixmap pixmap = icon.pixmap(QSize(size, size));
        EXPECT_EQ(pixmap.size(), QSize(size, size));
        EXPECT_GT(OpaquePixels(Pixels(pixmap)), size * size / 3);
    }
}

}  // namespace
}  // namespace kovrin
