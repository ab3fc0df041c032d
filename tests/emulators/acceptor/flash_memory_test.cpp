// The boot loader's program memory: which blocks it takes, its checksum and the image's description.

#include <gtest/gtest.h>

#include <string>

#include "emulators/acceptor/flash_memory.h"

namespace kovrin::emulator {
namespace {

using Bytes = std::vector<uint8_t>;

struct BlockCase {
    const char* what;
    uint8_t bank;
    uint16_t address;
    size_t length;
    bool taken;
};

const BlockCase kBlockCases[] = {
    {"first byte of the image", 0, 0x4000, 16, true},
    {"below the image", 0, 0x3FF0, 16, false},
    {"running into the image from below", 0, 0x3FF8, 16, false},
    {"last page before the boot loader", 0, 0xF580, 128, true},
    {"the boot loader's own memory", 0, 0xF600, 16, false},
    {"a whole page", 0, 0x4080, 128, true},
    {"crossing a page end", 0, 0x4078, 16, false},
    {"longer than a page", 0, 0x4000, 129, false},
    {"no data", 0, 0x4000, 0, false},
    {"bank 1 above 0xF600", 1, 0xF600, 16, true},
    {"bank 3 at the top", 3, 0xFFF0, 16, true},
    {"bank 1 below the image", 1, 0x2000, 16, false},
    {"bank 4", 4, 0x4000, 16, false},
};

TEST(FlashMemory, TakesBlocksOnlyInsideOnePageOfTheImageArea)
{
    for (const BlockCase& c : kBlockCases) {
        FlashMemory flash;
        const Bytes data(c.length, 0x5A);
        EXPECT_EQ(flash.program(c.bank, c.address, data), c.taken) << c.what;
        EXPECT_EQ(flash.programmed().size(), c.taken ? c.length : 0u) << c.what << ": nothing half written";
    }
}

TEST(FlashMemory, AProgrammedByteChangesOnlyAfterAnErase)
{
    FlashMemory flash;
    ASSERT_TRUE(flash.program(0, 0x4000, {1, 2, 3}));
    EXPECT_TRUE(flash.program(0, 0x4000, {1, 2, 3})) << "a block sent again after a lost reply";
    EXPECT_FALSE(flash.program(0, 0x4001, {9}));
    EXPECT_EQ(flash.at(flashAddress(0, 0x4001)), 2);
    flash.erase();
    EXPECT_TRUE(flash.programmed().empty());
    EXPECT_EQ(flash.at(flashAddress(0, 0x4001)), 0xFF);
    EXPECT_TRUE(flash.program(0, 0x4001, {9}));
}

TEST(FlashMemory, ChecksumSumsTheProgrammedBytesAndNoErasedGap)
{
    FlashMemory flash;
    EXPECT_EQ(flash.checksum(), 0);
    const Bytes low(16, 0x10);
    const Bytes high(128, 0xC3);
    ASSERT_TRUE(flash.program(0, 0x4000, low));
    ASSERT_TRUE(flash.program(0, 0x4020, low));  // 16 erased bytes between, as in a file with a gap
    ASSERT_TRUE(flash.program(2, 0x8000, high));
    const uint32_t expected = 32 * 0x10 + 128 * 0xC3;
    EXPECT_EQ(flash.checksum(), expected % 65536);
    ASSERT_TRUE(flash.program(1, 0x4000, {0x01}));
    EXPECT_EQ(flash.checksum(), (expected + 1) % 65536);
    // A byte programmed to the erased value counts like any other.
    ASSERT_TRUE(flash.program(0, 0x4010, {0xFF}));
    EXPECT_EQ(flash.checksum(), (expected + 1 + 0xFF) % 65536);
    flash.erase();
    EXPECT_EQ(flash.checksum(), 0);
}

TEST(FlashMemory, ChecksumWrapsAt65536)
{
    FlashMemory flash;
    for (uint16_t page = 0x4000; page < 0x4000 + 4 * 128; page += 128) ASSERT_TRUE(flash.program(0, page, Bytes(128, 0xFE)));
    EXPECT_EQ(flash.checksum(), (512u * 0xFE) % 65536);
}

TEST(FlashMemory, TheImageDescribesItselfOnceItsFirstBytesAreProgrammed)
{
    FlashMemory flash;
    Bytes head{7};
    const std::string name = "TEKRA-FW ", software = "TEKRA APP X", version = "0019";
    head.insert(head.end(), name.begin(), name.end());
    head.insert(head.end(), software.begin(), software.end());
    head.insert(head.end(), version.begin(), version.end());
    head.push_back(0x03);  // image code
    ASSERT_EQ(head.size(), 26u);
    ASSERT_TRUE(flash.program(0, 0x4000, Bytes(head.begin(), head.begin() + 25)));
    EXPECT_FALSE(flash.imageIdentity()) << "the image code is missing";
    ASSERT_TRUE(flash.program(0, 0x4019, {head[25]}));
    const auto identity = flash.imageIdentity();
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->variant, 7);
    EXPECT_EQ(identity->softwareText, software);
    EXPECT_EQ(identity->versionText, version);
    EXPECT_EQ(identity->imageCode, 0x03);
}

}  // namespace
}  // namespace kovrin::emulator
