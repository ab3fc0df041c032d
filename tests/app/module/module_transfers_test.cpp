// Whole files to and from a module, and what a failure leaves behind.

#include <gtest/gtest.h>

#include <set>

#include "tests/app/module/fake_module.h"
#include "app/module/kdu_directory.h"
#include "app/module/module_transfers.h"

namespace kovrin {
namespace {

using test::Entry;
using test::FakeModule;
using Call = FakeModule::Call;

// A listing made before the create: the files it showed, and the status it ended on.
KduFileList Listing(const std::set<uint16_t>& numbers, uint8_t endStatus = KduNoEntryStatus)
{
    KduFileList list;
    for (uint16_t n : numbers) {
        KduFileRow row;
        row.Number = n;
        list.Lines.push_back(row);
    }
    list.Complete = true;
    list.EndStatus = endStatus;
    return list;
}

Bytes Ramp(size_t n)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(i * 7);
    return b;
}

TEST(ModuleTransfers, ReadsWholeFilesOfAnySize)
{
    for (size_t size : {size_t(0), size_t(1), size_t(255), size_t(300), size_t(70000)}) {
        FakeModule module;
        module.Files.push_back({Entry(40000, 0, 3, SarnelVariantId, "c"), Ramp(size)});
        const KduFileRead read = ReadKduFile(module.Exports(), 1, 40000, size + 510);
        EXPECT_EQ(read.Status, 0) << size;
        EXPECT_EQ(read.Data, Ramp(size)) << size;
        EXPECT_TRUE(read.Messages.empty()) << size;
        EXPECT_EQ(module.Calls[Call::Close], 1);
    }
}

TEST(ModuleTransfers, ReadFailuresSayWhy)
{
    const struct {
        Call call;
        FakeModule::Spoil spoil;
        uint8_t status;
        std::vector<std::string> messages;
        int closes;
    } cases[] = {
        {Call::Open, {USB_RESULT_TIME_OUT, 0}, 1, {"Error - Link Time out "}, 0},
        {Call::Open, {0, 3}, 3, {"Could not open file: File Already Open"}, 0},
        {Call::Read, {USB_RESULT_LINK_FAILED, 0}, 1, {"Error - Link Failed"}, 1},
        {Call::Read, {0, 6}, 6, {"Error reading BA: File corrupt - Format KDU"}, 1},
        {Call::Close, {USB_RESULT_WRITE_FAILED, 0}, 0, {"Error - Write Failed"}, 1},
        {Call::Close, {0, 5}, 5, {"Could not close file: Invalid File"}, 1},
    };
    for (const auto& c : cases) {
        FakeModule module;
        module.Files.push_back({Entry(2, 0, 3, SarnelVariantId, "c"), Ramp(600)});
        module.Spoils[{c.call, 1}] = c.spoil;
        const KduFileRead read = ReadKduFile(module.Exports(), 1, 2, 10000);
        EXPECT_EQ(read.Status, c.status) << int(c.call);
        EXPECT_EQ(read.Messages, c.messages) << int(c.call);
        EXPECT_EQ(module.Calls[Call::Close], c.closes) << int(c.call);
    }
}

TEST(ModuleTransfers, AReadTellsHowFarItHasComeAfterEachPiece)
{
    FakeModule module;
    module.Files.push_back({Entry(2, 0, 3, SarnelVariantId, "c"), Ramp(600)});
    std::vector<size_t> progress;
    const KduFileRead read = ReadKduFile(module.Exports(), 1, 2, 10000, [&](size_t n) { progress.push_back(n); });
    EXPECT_EQ(read.Status, 0);
    EXPECT_EQ(progress, (std::vector<size_t>{255, 510, 600}));
}

TEST(ModuleTransfers, AReadThatNeverEndsStopsPastTheLimit)
{
    FakeModule module;
    module.Files.push_back({Entry(2, 0, 3, SarnelVariantId, "c"), Ramp(10)});
    module.EndlessRead = true;
    const KduFileRead read = ReadKduFile(module.Exports(), 1, 2, 1000);
    EXPECT_EQ(read.Status, 1);
    EXPECT_LE(read.Data.size(), 1000u + 255u);
    ASSERT_EQ(read.Messages.size(), 1u);
    EXPECT_EQ(module.Calls[Call::Close], 1);
}

TEST(ModuleTransfers, AWrittenFileHoldsEveryPieceInOrder)
{
    FakeModule module;
    const KduFileInfo entry = Entry(0, 0, 2, TekraVariantId, "Tyx_WS_Config.bin");
    std::vector<size_t> progress;
    const KduFileWrite write = WriteKduFile(module.Exports(), 1, entry, {{1, 2, 3}, {4}, {5, 6}}, Listing({}),
                                            [&](size_t n) { progress.push_back(n); });
    EXPECT_TRUE(write.Written);
    EXPECT_TRUE(write.Messages.empty());
    ASSERT_EQ(module.Files.size(), 1u);
    EXPECT_EQ(module.Files[0].Data, (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(progress, (std::vector<size_t>{1, 2, 3}));
}

TEST(ModuleTransfers, AFailedWriteLeavesNoPartialFileAndSaysWhy)
{
    const struct {
        Call call;
        int nth;
        FakeModule::Spoil spoil;
        std::string why;
    } cases[] = {
        {Call::Write, 1, {USB_RESULT_WRITE_FAILED, 0}, "Error - Write Failed"},
        {Call::Write, 2, {0, 2}, "Error writing to KDU: No Space"},
        {Call::Close, 1, {USB_RESULT_LINK_FAILED, 0}, "Error - Link Failed"},
        {Call::Close, 1, {0, 1}, "Could not close file: Unable to respond"},
    };
    const KduFileInfo entry = Entry(0, 3, 0, SarnelVariantId, "Ver   067 TYX_FW.HEX");
    for (const auto& c : cases) {
        FakeModule module;
        // A file of the same kind already there stays.
        module.Files.push_back({Entry(1, 3, 0, SarnelVariantId, "Ver   067 TYX_FW.HEX"), {9}});
        module.Spoils[{c.call, c.nth}] = c.spoil;
        const KduFileWrite write = WriteKduFile(module.Exports(), 1, entry, {{1}, {2}, {3}}, Listing({1}));
        EXPECT_FALSE(write.Written) << c.why;
        EXPECT_EQ(write.Messages, (std::vector<std::string>{c.why, "Nothing of the file was left on the KDU."}));
        ASSERT_EQ(module.Files.size(), 1u) << c.why;
        EXPECT_EQ(module.Files[0].Info.FileNumber, 1u) << c.why;
        EXPECT_GE(module.Calls[Call::Close], 1) << c.why;
    }
}

TEST(ModuleTransfers, ARefusedCreateWritesNothingErasesNothingAndIsStillClosed)
{
    FakeModule module;
    module.Files.push_back({Entry(1, 0, 2, SarnelVariantId, "Tyx_Config.bin"), {7}});
    module.Spoils[{Call::Create, 1}] = {0, 2};
    const KduFileWrite write =
        WriteKduFile(module.Exports(), 1, Entry(0, 0, 2, SarnelVariantId, "Tyx_Config.bin"), {{1}}, Listing({}));
    EXPECT_FALSE(write.Written);
    EXPECT_EQ(write.Messages,
              (std::vector<std::string>{"Could not create file: No Space", "Nothing of the file was left on the KDU."}));
    EXPECT_EQ(module.Calls[Call::Write], 0);
    EXPECT_EQ(module.Calls[Call::Close], 1);
    EXPECT_EQ(module.Calls[Call::Delete], 0);
    EXPECT_EQ(module.Files.size(), 1u);
}

// The clean-up erases the one file this download made, known by its entry, by not being in
// a listing before that shows every file, and by its size; any doubt leaves every file where it is.
TEST(ModuleTransfers, TheCleanUpErasesOnlyTheOneFileThisDownloadMade)
{
    KduFileInfo entry = Entry(0, 0, 2, SarnelVariantId, "Tyx_Config.bin");
    entry.SetupRevision = 0x12;
    entry.CalibrationRevision = 0x34;
    const auto sameBut = [&](uint16_t number, auto change) {
        KduFileInfo other = entry;
        other.FileNumber = number;
        change(other);
        return other;
    };
    const struct {
        const char* what;
        std::vector<KduFileInfo> before;  // on the module before the download
        std::set<uint16_t> listed;        // what the listing before the create showed
        int relistEndAt;                  // the re-listing reports its end at this call (0: never early)
        std::vector<uint16_t> left;       // numbers on the module afterwards
        std::string last;
        uint8_t listedEnd = KduNoEntryStatus;  // the status that ended the listing before
        int relistFailsAt = 0;                 // a listing times out at this call
    } cases[] = {
        {"a sound listing", {sameBut(1, [](KduFileInfo&) {})}, {1}, 0, {1},
         "Nothing of the file was left on the KDU."},
        {"a listing before cut short by a status", {sameBut(1, [](KduFileInfo&) {})}, {1}, 0, {1, 100},
         "Some of the file may still be on the KDU: erase it there.", 1},
        {"a listing before that ended on a status of no meaning here", {}, {}, 0, {100},
         "Some of the file may still be on the KDU: erase it there.", 0x40},
        // The erase went through, but no listing after it shows the file gone.
        {"a listing after the erase that breaks off", {sameBut(1, [](KduFileInfo&) {})}, {1}, 0, {1},
         "Some of the file may still be on the KDU: erase it there.", KduNoEntryStatus, 4},
        {"a re-listing that breaks off", {sameBut(1, [](KduFileInfo&) {})}, {1}, 0, {1, 100},
         "Some of the file may still be on the KDU: erase it there.", KduNoEntryStatus, 2},
        {"a re-listing that ends on another status", {sameBut(1, [](KduFileInfo&) {})}, {1}, 0, {1, 100},
         "Some of the file may still be on the KDU: erase it there.", KduNoEntryStatus, -3},
        {"a listing before that missed a file of the same entry", {sameBut(1, [](KduFileInfo&) {})}, {}, 0, {1, 100},
         "Some of the file may still be on the KDU: erase it there."},
        {"a missed file of other revisions", {sameBut(1, [](KduFileInfo& e) { e.SetupRevision = 0x13; }),
                                               sameBut(2, [](KduFileInfo& e) { e.CalibrationRevision = 0; })},
         {}, 0, {1, 2}, "Nothing of the file was left on the KDU."},
        {"a missed file of another kind or name", {sameBut(1, [](KduFileInfo& e) { e.DataFileKind = 3; }),
                                                    sameBut(2, [](KduFileInfo& e) { e.FileName[3] = 'X'; }),
                                                    sameBut(3, [](KduFileInfo& e) { e.VariantId = TekraVariantId; }),
                                                    sameBut(4, [](KduFileInfo& e) { e.FileClass = 3; })},
         {}, 0, {1, 2, 3, 4}, "Nothing of the file was left on the KDU."},
        {"a re-listing that shows no new file", {sameBut(1, [](KduFileInfo&) {})}, {1}, 2, {1, 100},
         "Some of the file may still be on the KDU: erase it there."},
    };
    for (const auto& c : cases) {
        FakeModule module;
        for (const KduFileInfo& e : c.before)
            module.Files.push_back({e, {9}});
        module.Spoils[{Call::Write, 1}] = {0, 2};
        if (c.relistEndAt)
            module.Spoils[{Call::Enum, c.relistEndAt}] = {0, 5};
        if (c.relistFailsAt > 0)
            module.Spoils[{Call::Enum, c.relistFailsAt}] = {USB_RESULT_TIME_OUT, 0};
        else if (c.relistFailsAt < 0)
            module.Spoils[{Call::Enum, -c.relistFailsAt}] = {0, 1};
        const KduFileWrite write = WriteKduFile(module.Exports(), 1, entry, {{1}, {2}}, Listing(c.listed, c.listedEnd));
        EXPECT_FALSE(write.Written) << c.what;
        EXPECT_EQ(write.Messages, (std::vector<std::string>{"Error writing to KDU: No Space", c.last})) << c.what;
        std::vector<uint16_t> left;
        for (const auto& f : module.Files)
            left.push_back(uint16_t(f.Info.FileNumber));
        EXPECT_EQ(left, c.left) << c.what;
    }
}

TEST(ModuleTransfers, ACreateLostOnTheLinkIsErasedOnlyWhenTheModuleShowsIt)
{
    const KduFileInfo entry = Entry(0, 0, 2, SarnelVariantId, "Tyx_Config.bin");
    for (const bool made : {true, false}) {
        FakeModule module;
        module.Spoils[{Call::Create, 1}] = {USB_RESULT_TIME_OUT, 0, made};
        const KduFileWrite write = WriteKduFile(module.Exports(), 1, entry, {{1}}, Listing({}));
        EXPECT_FALSE(write.Written);
        EXPECT_EQ(module.Calls[Call::Write], 0);
        EXPECT_TRUE(module.Files.empty()) << made;
        // With no file to be seen, the listing may be what is wrong.
        EXPECT_EQ(write.Messages, (std::vector<std::string>{"Error - Link Time out ",
                                                            made ? "Nothing of the file was left on the KDU."
                                                                 : "Some of the file may still be on the KDU: erase it there."}))
            << made;
    }
}

// A create that never reached the module made no file; what the clean-up finds that fits is a file
// the module held, which a listing before missed.
TEST(ModuleTransfers, ACreateThatMadeNoFileErasesNoHeldFile)
{
    const KduFileInfo entry = Entry(0, 0, KduAuditKind, SarnelVariantId, "TyxAuditData.bin");
    const struct {
        const char* what;
        Bytes held;
        uint8_t listedEnd;
    } cases[] = {
        {"a listing cut short by a status", {}, 1},
        {"a listing that ended as if whole", Bytes(1 + 3 * 43, 0x21), KduNoEntryStatus},
        {"a listing that ended as if whole, a held leading byte", {0}, KduNoEntryStatus},
    };
    for (const auto& c : cases) {
        FakeModule module;
        module.Files.push_back({Entry(6, 0, KduAuditKind, SarnelVariantId, "TyxAuditData.bin"), c.held});
        module.Spoils[{Call::Create, 1}] = {USB_RESULT_WRITE_FAILED, 0};
        const KduFileWrite write = WriteKduFile(module.Exports(), 1, entry, {{0}}, Listing({}, c.listedEnd));
        EXPECT_FALSE(write.Written) << c.what;
        EXPECT_EQ(write.Messages, (std::vector<std::string>{"Error - Write Failed",
                                                            "Some of the file may still be on the KDU: erase it there."}))
            << c.what;
        EXPECT_EQ(module.Calls[Call::Delete], 0) << c.what;
        EXPECT_TRUE(module.Files.size() == 1 && module.Files[0].Data == c.held) << c.what << ": the held file stays";
    }
}

TEST(ModuleTransfers, APartialFileThatCannotBeErasedIsReported)
{
    FakeModule module;
    module.Spoils[{Call::Write, 1}] = {USB_RESULT_TIME_OUT, 0};
    module.Spoils[{Call::Delete, 1}] = {USB_RESULT_TIME_OUT, 0};
    const KduFileWrite write =
        WriteKduFile(module.Exports(), 1, Entry(0, 0, 2, SarnelVariantId, "Tyx_Config.bin"), {{1}}, Listing({}));
    EXPECT_FALSE(write.Written);
    EXPECT_EQ(write.Messages,
              (std::vector<std::string>{"Error - Link Time out ", "Some of the file may still be on the KDU: erase it there."}));
}

}  // namespace
}  // namespace kovrin
