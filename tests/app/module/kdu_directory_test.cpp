// The module's directory: list lines, type texts and the facts a listing gathers.

#include <gtest/gtest.h>

#include "tests/app/module/fake_module.h"
#include "app/module/kdu_directory.h"

namespace kovrin {
namespace {

using test::Entry;
using test::FakeModule;

constexpr uint32_t S = SarnelVariantId, T = TekraVariantId;

TEST(KduDirectory, TypeTextByClassKindAndVariant)
{
    const struct {
        int16_t fileClass;
        uint16_t kind;
        uint32_t variant;
        const char* type;
    } cases[] = {
        {0, 3, S, "Configuration"}, {0, 3, 0x1, "Configuration"}, {0, 1, 0x1, "Audit"},
        {0, 4, T, "Audit"},          {0, 2, S, "Configuration"},   {0, 0, T, "Configuration"},
        {0, 9, 0, "Configuration"},  {1, 0, 0, "Bootloader"},      {2, 7, S, "Bootloader"},
        {3, 0, S, "Application (Sarnel)"}, {3, 0, T, "Application (Tekra)"}, {3, 0, 0x2, "Application"},
        {5, 0, 0, "Variant"},        {4, 0, 0, "Unknown"},          {-125, 0, 0, "Unknown"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KduFileTypeText(Entry(1, c.fileClass, c.kind, c.variant, "x")), c.type)
            << c.fileClass << "/" << c.kind << "/" << std::hex << c.variant;
}

TEST(KduDirectory, LineShowsNumberTwentyNineNameCharactersTypeAndSize)
{
    KduFileInfo info = Entry(7, 0, 2, S, "Tyx_Config.bin", 176);
    info.FileName[3] = '\x01';  // control bytes show as blanks
    EXPECT_EQ(KduFileLine(info), "7\tTyx Config.bin               \tConfiguration\t176 bytes");
    EXPECT_EQ(KduFileLine(Entry(40000, 0, 1, 0, "", 0)), "40000\t" + std::string(29, ' ') + "\tAudit\t0 bytes");
}

TEST(KduDirectory, ApplicationRevisionDigitsAreListedInHexadecimal)
{
    const struct {
        const char* name;
        uint32_t variant;
        const char* line;
    } cases[] = {
        {"Ver   023 TYX_FW.HEX", T, "3\tVer   017 TYX_FW.HEX         \tApplication (Tekra)\t0 bytes"},
        {"Ver   067 TYX_FW.HEX", S, "3\tVer   043 TYX_FW.HEX         \tApplication (Sarnel)\t0 bytes"},
        {"Ver   9x9 TYX_FW.HEX", S, "3\tVer   009 TYX_FW.HEX         \tApplication (Sarnel)\t0 bytes"},
        {"Firmware.hex", S, "3\tFirmware.hex                 \tApplication (Sarnel)\t0 bytes"},
        {"Ver   023 TYX_FW.HEX", 0x1, "3\tVer   023 TYX_FW.HEX         \tApplication\t0 bytes"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KduFileLine(Entry(3, 3, 0, c.variant, c.name)), c.line) << c.name;
}

TEST(KduDirectory, AVersionAtTheNamesEndKeepsTheListsColumns)
{
    // The digits after "Ver" lie past the name: the rewrite takes the tab after it and the type's first letters.
    KduFileList list;
    NoteKduFile(list, Entry(3, 3, 0, S, "ABCDEFGHIJKLMNOPQRSTUVWVer123", 5));
    ASSERT_EQ(list.Lines.size(), 1u);
    EXPECT_EQ(list.Lines[0].Line, "3\tABCDEFGHIJKLMNOPQRSTUVWVer123000plication (Sarnel)\t5 bytes");
    EXPECT_EQ(list.Lines[0].Name, "ABCDEFGHIJKLMNOPQRSTUVWVer123");
    EXPECT_EQ(list.Lines[0].Type, "00plication (Sarnel)");
    EXPECT_EQ(list.Lines[0].Size, 5u);
}

TEST(KduDirectory, ListingGathersAuditFilesPresentFilesAndRevisions)
{
    FakeModule module;
    auto add = [&](uint16_t n, int16_t cls, uint16_t kind, uint32_t variant, uint16_t setup = 0, uint16_t cal = 0) {
        KduFileInfo info = Entry(n, cls, kind, variant, "f" + std::to_string(n));
        info.SetupRevision = setup;
        info.CalibrationRevision = cal;
        module.Files.push_back({info, Bytes(n, 0xAA)});
    };
    add(4, 0, 1, S);
    add(300, 0, 4, T);
    add(5, 0, 2, T);
    add(6, 3, 0, S);
    add(21, 0, 3, T, 0x0102, 0x42);  // beyond the old table's 0 to 20
    add(2, 0, 3, S, 7, 8);
    add(9, 0, 3, 0x1, 1, 1);         // no variant of ours: no revision entry

    const KduFileList list = EnumerateKduFiles(module.Exports(), 1);
    EXPECT_TRUE(list.Complete);
    ASSERT_EQ(list.Lines.size(), 7u);
    EXPECT_EQ(list.Lines[1].Line, "300\tf300                         \tAudit\t300 bytes");
    EXPECT_EQ(list.AuditFileId, 4);
    EXPECT_EQ(list.TekraAuditFileId, 300);
    EXPECT_FALSE(list.SarnelConfigPresent);
    EXPECT_TRUE(list.TekraConfigPresent);
    EXPECT_TRUE(list.SarnelFirmwarePresent);
    EXPECT_FALSE(list.TekraFirmwarePresent);
    ASSERT_EQ(list.RevisionTable.size(), 2u);
    EXPECT_EQ(list.RevisionTable.at(21).SetupRevision, 0x0102);
    EXPECT_EQ(list.RevisionTable.at(21).CalibrationRevision, 0x42);
    EXPECT_EQ(list.RevisionTable.at(21).Variant, 7);
    EXPECT_EQ(list.RevisionTable.at(2).Variant, 5);
    ASSERT_NE(list.Find(300), nullptr);
    EXPECT_EQ(list.Find(300)->Size, 300u);
    EXPECT_EQ(list.Find(1), nullptr);
}

TEST(KduDirectory, AnEmptyModuleHasNoAuditFilesAndNoLines)
{
    FakeModule module;
    const KduFileList list = EnumerateKduFiles(module.Exports(), 1);
    EXPECT_TRUE(list.Complete);
    EXPECT_TRUE(list.Lines.empty());
    EXPECT_EQ(list.AuditFileId, -1);
    EXPECT_EQ(list.TekraAuditFileId, -1);
}

TEST(KduDirectory, EveryFileIsListedBeyondThirty)
{
    FakeModule module;
    for (uint16_t n = 1; n <= 45; ++n)
        module.Files.push_back({Entry(n, 0, 0, 0, "d"), {}});
    const KduFileList list = EnumerateKduFiles(module.Exports(), 1);
    EXPECT_TRUE(list.Complete);
    EXPECT_EQ(list.Lines.size(), 45u);
    EXPECT_EQ(list.Lines.back().Number, 45);
}

// Any status ends the walk, but only the module's "Invalid File" says that no entry lies beyond.
TEST(KduDirectory, OnlyAnEndOnInvalidFileShowsEveryFile)
{
    for (const uint8_t status : {uint8_t(1), uint8_t(2), uint8_t(3), uint8_t(5), uint8_t(6), uint8_t(0x80)}) {
        FakeModule module;
        for (uint16_t n = 1; n <= 3; ++n)
            module.Files.push_back({Entry(n, 0, 2, S, "a"), {}});
        module.Spoils[{FakeModule::Call::Enum, 2}] = {0, status};
        const KduFileList list = EnumerateKduFiles(module.Exports(), 1);
        EXPECT_TRUE(list.Complete) << int(status);
        EXPECT_EQ(list.Lines.size(), 1u) << int(status);
        EXPECT_EQ(list.EndStatus, status);
        EXPECT_EQ(list.ShowsEveryFile(), status == 5) << int(status);
    }
    FakeModule module;
    module.Spoils[{FakeModule::Call::Enum, 1}] = {USB_RESULT_TIME_OUT, 0};
    EXPECT_FALSE(EnumerateKduFiles(module.Exports(), 1).ShowsEveryFile());
}

TEST(KduDirectory, AFailedWalkKeepsItsLinesButIsNotComplete)
{
    FakeModule module;
    for (uint16_t n = 1; n <= 3; ++n)
        module.Files.push_back({Entry(n, 3, 0, S, "a"), {}});
    module.Spoils[{FakeModule::Call::Enum, 3}] = {USB_RESULT_TIME_OUT, 0};
    const KduFileList list = EnumerateKduFiles(module.Exports(), 1);
    EXPECT_FALSE(list.Complete);
    EXPECT_EQ(list.Failure, USB_RESULT_TIME_OUT);
    EXPECT_EQ(list.Lines.size(), 2u);
}

TEST(KduDirectory, AWalkThatNeverEndsStopsAtItsCap)
{
    FakeModule module;
    for (uint16_t n = 1; n <= 20; ++n)
        module.Files.push_back({Entry(n, 0, 0, 0, "a"), {}});
    const KduFileList list = EnumerateKduFiles(module.Exports(), 1, 10);
    EXPECT_FALSE(list.Complete);
    EXPECT_TRUE(list.Capped);
    EXPECT_EQ(list.Lines.size(), 10u);
}

}  // namespace
}  // namespace kovrin
