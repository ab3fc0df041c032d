// The programming module's exports end to end: through the library, the
// driver and the emulated bus to the emulated module and back.

#include <cstring>
#include <functional>
#include <string>

#include "tests/support/byte_runs.h"
#include "tests/usblib/emulator_exports_fixture.h"

namespace kovrin::usblib::testing {
namespace {

KduFileInfo EntryFor(const std::string& name, int16_t fileClass, uint16_t kind, uint32_t variant)
{
    KduFileInfo entry;
    std::memset(&entry, 0, sizeof entry);
    entry.VariantId = variant;
    entry.DataFileKind = kind;
    entry.SetupRevision = 0x2A;
    entry.CalibrationRevision = 0x0105;
    entry.FileClass = fileClass;
    std::memcpy(entry.FileName, name.data(), name.size());
    return entry;
}

using test::Join;
using test::Pattern;

class ModuleExportsTest : public EmulatorExportsTest {
protected:
    void SetUp() override
    {
        EmulatorExportsTest::SetUp();
        module_ = std::make_shared<ModuleEmulator>();
        kdu_ = OpenEmulator(module_);
    }

    // Writes a whole file as the program does: create, pieces of at most 128 bytes, close.
    void Store(const KduFileInfo& entry, const Bytes& contents)
    {
        uint8_t status = 0xEE;
        ASSERT_EQ(VoskUsb_PMCreateFile(kdu_, &status, &entry), USB_RESULT_SUCCESS);
        ASSERT_EQ(status, 0);
        for (size_t at = 0; at < contents.size(); at += 128) {
            uint32_t n = uint32_t(std::min<size_t>(128, contents.size() - at));
            ASSERT_EQ(VoskUsb_PMWriteFile(kdu_, &status, contents.data() + at, n), USB_RESULT_SUCCESS);
            ASSERT_EQ(status, 0);
        }
        ASSERT_EQ(VoskUsb_PMCloseFile(kdu_, &status), USB_RESULT_SUCCESS);
        ASSERT_EQ(status, 0);
    }

    // Reads a whole file as the program does: open, pieces until length 0, close.
    Bytes Load(uint32_t number)
    {
        uint8_t status = 0xEE;
        EXPECT_EQ(VoskUsb_PMOpenFileForRead(kdu_, &status, number), USB_RESULT_SUCCESS);
        EXPECT_EQ(status, 0);
        Bytes contents;
        for (int pieces = 0; pieces < 100; ++pieces) {
            uint8_t buffer[257];
            uint16_t length = 0xEEEE;
            EXPECT_EQ(VoskUsb_PMReadFile(kdu_, &status, buffer, &length), USB_RESULT_SUCCESS);
            EXPECT_EQ(status, 0);
            EXPECT_LE(length, 255);
            if (length == 0)
                break;
            contents.insert(contents.end(), buffer, buffer + length);
        }
        EXPECT_EQ(VoskUsb_PMCloseFile(kdu_, &status), USB_RESULT_SUCCESS);
        return contents;
    }

    std::shared_ptr<ModuleEmulator> module_;
    UsbDevice kdu_ = 0;
};

TEST_F(ModuleExportsTest, FilesWrittenListedReadAndDeleted)
{
    Bytes config = Pattern(176);
    Bytes audit = {0x00};
    Store(EntryFor("Tyx_Config.bin", 0, 2, 0x04000000), config);
    Store(EntryFor("TyxTekraAuditData.bin", 0, 4, 0x08000000), audit);

    KduFileInfo entry;
    std::memset(&entry, 0xEE, sizeof entry);
    uint8_t status = 0xEE;
    ASSERT_EQ(VoskUsb_PMEnumFile(kdu_, 1, &status, &entry), USB_RESULT_SUCCESS);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(entry.FileNumber & 0xFFFF, 2u);
    EXPECT_EQ(entry.FileNumber >> 16, 0xEEEEu);  // the upper half is left as it was
    EXPECT_EQ(entry.VariantId, 0x08000000u);
    EXPECT_EQ(entry.DataFileKind, 4);
    EXPECT_EQ(entry.SetupRevision, 0x2A);
    EXPECT_EQ(entry.CalibrationRevision, 0x0105);
    EXPECT_EQ(entry.FileClass, 0);
    EXPECT_EQ(std::string(entry.FileName), "TyxTekraAuditData.bin");
    EXPECT_EQ(uint8_t(entry.FileName[29]), 0xEE);
    EXPECT_EQ(entry.Value5, 0u);  // the sum of its bytes
    EXPECT_EQ(entry.FileSize, 1u);

    // Past the last file: a status of its own, the record untouched.
    KduFileInfo untouched = entry;
    ASSERT_EQ(VoskUsb_PMEnumFile(kdu_, 2, &status, &entry), USB_RESULT_SUCCESS);
    EXPECT_NE(status, 0);
    EXPECT_EQ(std::memcmp(&entry, &untouched, sizeof entry), 0);

    EXPECT_EQ(Load(1), config);
    EXPECT_EQ(Load(2), audit);

    ASSERT_EQ(VoskUsb_PMDeleteFile(kdu_, &status, 1), USB_RESULT_SUCCESS);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(VoskUsb_PMEnumFile(kdu_, 0, &status, &entry), USB_RESULT_SUCCESS);
    EXPECT_EQ(std::string(entry.FileName), "TyxTekraAuditData.bin");
    ASSERT_EQ(VoskUsb_PMDeleteFile(kdu_, &status, 1), USB_RESULT_SUCCESS);
    EXPECT_EQ(status, 5);  // "Invalid File": the module's refusal, not the library's
}

TEST_F(ModuleExportsTest, AnEntryReplyLongerThanTheEntryFillsTheRecordFromItsFirstBytes)
{
    Store(EntryFor("TyxTekraAuditData.bin", 0, 4, 0x08000000), {0x00});
    for (size_t extra : {size_t(1), size_t(193)}) {
        module_->AddFault(0x3A, {emulator::usb::UsbFaultKind::LongReply, 1, 0, extra});
        KduFileInfo entry;
        std::memset(&entry, 0xEE, sizeof entry);
        uint8_t status = 0xEE;
        ASSERT_EQ(VoskUsb_PMEnumFile(kdu_, 0, &status, &entry), USB_RESULT_SUCCESS) << extra;
        EXPECT_EQ(status, 0);
        EXPECT_EQ(entry.FileNumber & 0xFFFF, 1u);
        EXPECT_EQ(entry.VariantId, 0x08000000u);
        EXPECT_EQ(entry.DataFileKind, 4);
        EXPECT_EQ(entry.CalibrationRevision, 0x0105);
        EXPECT_EQ(std::string(entry.FileName), "TyxTekraAuditData.bin");
        EXPECT_EQ(entry.FileSize, 1u) << "the size is reply bytes 59-62, not the added ones";
    }
    // One byte short of the entry is refused.
    module_->AddFault(0x3A, {emulator::usb::UsbFaultKind::ShortReply, 1, 0, 1});
    KduFileInfo entry{};
    uint8_t status = 0;
    EXPECT_EQ(VoskUsb_PMEnumFile(kdu_, 0, &status, &entry), USB_RESULT_BAD_REPLY);
}

TEST_F(ModuleExportsTest, ApplicationClassIsSentAsItsLowByte)
{
    KduFileInfo entry = EntryFor("Ver   067 TYX_FW.HEX", 0x0103, 0, 0x04000000);
    Store(entry, {':'});
    EXPECT_EQ(module_->Files()[0].FileClass, 0x03);
    ASSERT_EQ(module_->Requests()[0].size(), 53u);
    EXPECT_EQ(module_->Requests()[0][23], 0x03);
}

TEST_F(ModuleExportsTest, EveryCommandsRequestAndOutputs)
{
    uint8_t status = 0xEE;
    uint16_t first = 0xEEEE, second = 0xEEEE, length = 0xEEEE;
    uint8_t third = 0xEE, value = 0xEE, count = 0xEE;
    uint32_t capacity = 0xEEEEEEEE;
    uint8_t record[16];
    uint8_t revision[7];
    uint8_t buffer[255];
    Bytes unit(16, 0x5C);
    Bytes download(3, 0x77);
    constexpr int kNone = -1;  // the export has no status output
    struct Case {
        const char* Export;
        std::function<UsbResult()> Call;
        Bytes Request;
        int Status;
    };
    const Case cases[] = {
        {"GetStatus", [&] { return VoskUsb_PMGetStatus(kdu_, &status, &first, &second, &third); }, {0x10}, 0},
        {"GetFWRev", [&] { return VoskUsb_PMGetFWRev(kdu_, revision); }, {0x11}, kNone},
        {"SetUnitData", [&] { return VoskUsb_PMSetUnitData(kdu_, &status, 0x103, unit.data()); },
         Join({0x1C, 0x03}, unit), 0},
        {"GetUnitData", [&] { return VoskUsb_PMGetUnitData(kdu_, &status, 3, record); }, {0x1B, 0x03}, 0},
        {"SetItem", [&] { return VoskUsb_PMSetItem(kdu_, &status, 0x80, 0x15A); }, {0x2C, 0x80, 0x5A}, 0},
        {"GetItem", [&] { return VoskUsb_PMGetItem(kdu_, &status, 0x80, &value); }, {0x2B, 0x80}, 0},
        {"GetCapacity", [&] { return VoskUsb_PMGetCapacity(kdu_, &status, &capacity); }, {0x3B}, 0},
        {"CloseFile", [&] { return VoskUsb_PMCloseFile(kdu_, &status); }, {0x38}, 5},
        {"GetErrorLog", [&] { return VoskUsb_PMGetErrorLog(kdu_, &count, buffer); }, {0x1D}, kNone},
        {"ClearErrorLog", [&] { return VoskUsb_PMClearErrorLog(kdu_); }, {0x1E}, kNone},
        {"ClearPowerCount", [&] { return VoskUsb_PMClearPowerCount(kdu_); }, {0x1F}, kNone},
        {"CheckFilingSystem", [&] { return VoskUsb_PMCheckFilingSystem(kdu_, &status); }, {0x30}, 0},
        {"FormatFilingSystem", [&] { return VoskUsb_PMFormatFilingSystem(kdu_, &status); }, {0x31}, 0},
        {"OpenFileForRead", [&] { return VoskUsb_PMOpenFileForRead(kdu_, &status, 0x10009); }, {0x33, 0x00, 0x09}, 5},
        {"ReadFile", [&] { return VoskUsb_PMReadFile(kdu_, &status, buffer, &length); }, {0x34}, 5},
        {"RunBootloader", [&] { return VoskUsb_PMRunBootloader(kdu_, &status); }, {0x44}, 0},
        {"SelfTest", [&] { return VoskUsb_PMSelfTest(kdu_, &status, 2); }, {0x45, 0x02}, 0},
        {"BLDeleteApp", [&] { return VoskUsb_PMBLDeleteApp(kdu_, &status); }, {0x50}, 0},
        {"BLLoadApp", [&] { return VoskUsb_PMBLLoadApp(kdu_, &status, 0x12345678); }, {0x51, 0x34, 0x56, 0x78}, 0},
        {"BLRunApp", [&] { return VoskUsb_PMBLRunApp(kdu_, &status); }, {0x52}, 0},
        {"BLUpdateSecBL", [&] { return VoskUsb_PMBLUpdateSecBL(kdu_, &status, 0x010203, 0x040506); },
         {0x53, 1, 2, 3, 4, 5, 6}, 0},
        {"BLDeleteUtility", [&] { return VoskUsb_PMBLDeleteUtility(kdu_, &status, 1); }, {0x54, 0x01}, 0},
        {"BLLoadUtility", [&] { return VoskUsb_PMBLLoadUtility(kdu_, &status, 0, 0xBEEF); },
         {0x55, 0x00, 0xBE, 0xEF}, 0},
        {"BLRunUtility", [&] { return VoskUsb_PMBLRunUtility(kdu_, &status, 0); }, {0x56, 0x00}, 0},
        {"BLDownload, no data", [&] { return VoskUsb_PMBLDownload(kdu_, &status, 0x4000, download.data(), 0); },
         {0x5E, 0x00, 0x40, 0x00}, 0},
        {"BLDownload", [&] { return VoskUsb_PMBLDownload(kdu_, &status, 0x4000, download.data(), 3); },
         Join({0x5E, 0x00, 0x40, 0x00}, download), 0},
        {"BLDownloadEnd", [&] { return VoskUsb_PMBLDownloadEnd(kdu_, &status); }, {0x5F}, 0},
    };
    for (const Case& c : cases) {
        size_t before = module_->Requests().size();
        status = 0xEE;
        EXPECT_EQ(c.Call(), USB_RESULT_SUCCESS) << c.Export;
        std::vector<Bytes> requests = module_->Requests();
        ASSERT_EQ(requests.size(), before + 1) << c.Export;
        EXPECT_EQ(requests.back(), c.Request) << c.Export;
        if (c.Status != kNone) {
            EXPECT_EQ(status, c.Status) << c.Export;
        }
    }
    // What the decoders took from the replies.
    EXPECT_EQ(first, 0);   // no files
    EXPECT_EQ(second, 1);  // power-up count before it was cleared
    EXPECT_EQ(third, 0);
    EXPECT_EQ(Bytes(revision, revision + 7), (Bytes{0, 5, 2, 0, 1, 0, 0}));
    EXPECT_EQ(Bytes(record, record + 16), unit);
    EXPECT_EQ(value, 0x5A);
    EXPECT_EQ(capacity, 512u * 1024);
    EXPECT_EQ(count, 1);  // the close the module refused
    EXPECT_EQ(length, 0);
}

TEST_F(ModuleExportsTest, ArgumentsOutOfRangeSendNothing)
{
    uint8_t status = 0xEE;
    Bytes data(129, 1);
    uint8_t buffer[255];
    uint16_t length = 0xEEEE;
    KduFileInfo entry{};
    const std::function<UsbResult()> calls[] = {
        [&] { return VoskUsb_PMWriteFile(kdu_, &status, data.data(), 0); },
        [&] { return VoskUsb_PMWriteFile(kdu_, &status, data.data(), 129); },
        [&] { return VoskUsb_PMWriteFile(kdu_, &status, nullptr, 1); },
        [&] { return VoskUsb_PMBLDownload(kdu_, &status, 0, data.data(), 129); },
        [&] { return VoskUsb_PMBLDeleteUtility(kdu_, &status, 2); },
        [&] { return VoskUsb_PMBLLoadUtility(kdu_, &status, 0x10002, 0); },
        [&] { return VoskUsb_PMCloseFile(kdu_, nullptr); },
        [&] { return VoskUsb_PMReadFile(kdu_, &status, nullptr, &length); },
        [&] { return VoskUsb_PMReadFile(kdu_, &status, buffer, nullptr); },
        [&] { return VoskUsb_PMCreateFile(kdu_, &status, nullptr); },
        [&] { return VoskUsb_PMEnumFile(kdu_, 0, &status, nullptr); },
        [&] { return VoskUsb_PMGetFWRev(kdu_, nullptr); },
        [&] { return VoskUsb_PMGetStatus(kdu_, &status, nullptr, nullptr, nullptr); },
        [&] { return VoskUsb_PMCreateFile(kdu_, nullptr, &entry); },
    };
    for (size_t i = 0; i < std::size(calls); ++i)
        EXPECT_EQ(calls[i](), USB_RESULT_BAD_ARGUMENT) << i;
    EXPECT_TRUE(module_->Requests().empty());
    // The outputs that are there are cleared before the missing one is noticed.
    status = 0xEE;
    length = 0xEEEE;
    EXPECT_EQ(VoskUsb_PMReadFile(kdu_, &status, nullptr, &length), USB_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(length, 0);
}

TEST_F(ModuleExportsTest, OtherDevicesStatesAndHandles)
{
    uint8_t status = 0xEE;
    EXPECT_EQ(VoskUsb_PMCloseFile(kdu_ + 1, &status), USB_RESULT_BAD_HANDLE);
    EXPECT_EQ(VoskUsb_PMCloseFile(0, &status), USB_RESULT_BAD_HANDLE);
    ASSERT_EQ(VoskUsb_CloseDevice(kdu_), USB_RESULT_SUCCESS);
    EXPECT_EQ(VoskUsb_PMCloseFile(kdu_, &status), USB_RESULT_NOT_OPEN);
    VoskUsb_Remove();
    EXPECT_EQ(VoskUsb_PMCloseFile(kdu_, &status), USB_RESULT_NOT_INITIALISED);
    EXPECT_TRUE(module_->Requests().empty());
}

TEST_F(ModuleExportsTest, ModuleCommandsToTheUsbAcceptorAreRefused)
{
    auto knurl = std::make_shared<KnurlEmulator>();
    int port = bus_->Plug(knurl);
    ports_.push_back(port);
    Settle();
    ASSERT_EQ(events_.size(), 2u);
    UsbDevice acceptor = events_.back().Device;
    ASSERT_EQ(events_.back().Type, USB_DEVICE_KNURL);
    ASSERT_EQ(VoskUsb_OpenDevice(acceptor), USB_RESULT_SUCCESS);
    uint8_t revision[7];
    EXPECT_EQ(VoskUsb_PMGetFWRev(acceptor, revision), USB_RESULT_WRONG_DEVICE_TYPE);
    EXPECT_TRUE(knurl->Requests().empty());
}

// ---- faults of the module, seen through the exports

TEST_F(ModuleExportsTest, RepliesOfTheWrongLengthAreBad)
{
    uint8_t status = 0xEE;
    uint16_t first = 0xEEEE, second = 0xEEEE;
    uint8_t third = 0xEE;
    module_->AddFault(0x10, {UsbFaultKind::ShortReply});
    EXPECT_EQ(VoskUsb_PMGetStatus(kdu_, &status, &first, &second, &third), USB_RESULT_BAD_REPLY);
    EXPECT_EQ(status | first | second | third, 0);
    module_->AddFault(0x10, {UsbFaultKind::LongReply});
    EXPECT_EQ(VoskUsb_PMGetStatus(kdu_, &status, &first, &second, &third), USB_RESULT_BAD_REPLY);
    EXPECT_EQ(VoskUsb_PMGetStatus(kdu_, &status, &first, &second, &third), USB_RESULT_SUCCESS);
    EXPECT_EQ(second, 1);
}

TEST_F(ModuleExportsTest, APartOfAnEntryIsBadAndLeavesTheRecord)
{
    Store(EntryFor("a.bin", 0, 0, 0), {1});
    KduFileInfo entry;
    std::memset(&entry, 0xEE, sizeof entry);
    KduFileInfo before = entry;
    uint8_t status = 0xEE;
    for (size_t missing : {1, 30, 61}) {
        module_->AddFault(0x3A, {UsbFaultKind::ShortReply, 1, 0, missing});
        EXPECT_EQ(VoskUsb_PMEnumFile(kdu_, 0, &status, &entry), USB_RESULT_BAD_REPLY) << missing;
        EXPECT_EQ(std::memcmp(&entry, &before, sizeof entry), 0) << missing;
    }
}

TEST_F(ModuleExportsTest, AnErrorLogShorterThanItsCountIsBad)
{
    uint8_t status;
    VoskUsb_PMCloseFile(kdu_, &status);  // refused: one entry in the log
    VoskUsb_PMCloseFile(kdu_, &status);
    uint8_t count = 0xEE;
    uint8_t buffer[127];
    std::memset(buffer, 0xEE, sizeof buffer);
    module_->AddFault(0x1D, {UsbFaultKind::ShortReply});
    EXPECT_EQ(VoskUsb_PMGetErrorLog(kdu_, &count, buffer), USB_RESULT_BAD_REPLY);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(buffer[0], 0xEE);
    EXPECT_EQ(VoskUsb_PMGetErrorLog(kdu_, &count, buffer), USB_RESULT_SUCCESS);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{0x38, 0x38, 0xEE}));
}

TEST_F(ModuleExportsTest, TheModulesOwnStatusIsNoFailure)
{
    uint8_t revision[7];
    uint8_t status = 0xEE;
    module_->AddFault(0x38, {UsbFaultKind::Status, 1, 0, 1, 6});
    EXPECT_EQ(VoskUsb_PMCloseFile(kdu_, &status), USB_RESULT_SUCCESS);
    EXPECT_EQ(status, 6);
    module_->AddFault(0x11, {UsbFaultKind::Status, 1, 0, 1, 1});
    EXPECT_EQ(VoskUsb_PMGetFWRev(kdu_, revision), USB_RESULT_BAD_REPLY);  // a status alone is too short
}

TEST_F(ModuleExportsTest, TransferFaultsAndTheExchangeAfterThem)
{
    struct Case {
        const char* What;
        UsbFault Fault;
        UsbResult Expected;
        bool Late;
    };
    const Case cases[] = {
        {"no reply", {UsbFaultKind::NoReply}, USB_RESULT_TIME_OUT, false},
        {"late reply", {UsbFaultKind::LateReply}, USB_RESULT_TIME_OUT, true},
        {"stalled reply", {UsbFaultKind::StallReply}, USB_RESULT_LINK_FAILED, false},
        {"stalled request", {UsbFaultKind::StallRequest}, USB_RESULT_WRITE_FAILED, false},
    };
    uint8_t revision[7];
    for (const Case& c : cases) {
        module_->AddFault(0x11, c.Fault);
        if (c.Expected == USB_RESULT_TIME_OUT)
            user::SetTimeLimitScale(kShortTimeLimits);
        std::memset(revision, 0xEE, sizeof revision);
        EXPECT_EQ(VoskUsb_PMGetFWRev(kdu_, revision), c.Expected) << c.What;
        EXPECT_EQ(revision[1], 0) << c.What;
        user::SetTimeLimitScale(1);
        if (c.Late)
            ReleaseLateReplies(*module_);
        // The next exchange gets its own reply, not a late one.
        uint8_t status = 0xEE;
        uint8_t value = 0xEE;
        EXPECT_EQ(VoskUsb_PMGetItem(kdu_, &status, 1, &value), USB_RESULT_SUCCESS) << c.What;
        EXPECT_EQ(status, 0) << c.What;
        EXPECT_EQ(VoskUsb_PMGetFWRev(kdu_, revision), USB_RESULT_SUCCESS) << c.What;
        EXPECT_EQ(revision[1], 5) << c.What;
    }
}

TEST_F(ModuleExportsTest, UnplugBetweenRequestAndReply)
{
    module_->AddFault(0x3A, {UsbFaultKind::Unplug});
    KduFileInfo entry{};
    uint8_t status = 0xEE;
    EXPECT_EQ(VoskUsb_PMEnumFile(kdu_, 0, &status, &entry), USB_RESULT_LINK_FAILED);
    Settle();
    ASSERT_EQ(events_.size(), 2u);
    EXPECT_EQ(events_[1].Event, USB_DEVICE_REMOVED);
    EXPECT_EQ(VoskUsb_PMEnumFile(kdu_, 0, &status, &entry), USB_RESULT_BAD_HANDLE);
}

TEST_F(ModuleExportsTest, RawExchangeWithTheModule)
{
    uint8_t reply[VOSKUSB_GENERIC_MODULE_REPLY_MAX];
    uint16_t length = 0xEEEE;
    const uint8_t revision[] = {0x11};
    EXPECT_EQ(VoskUsb_Generic(kdu_, revision, 1, reply, &length), USB_RESULT_SUCCESS);
    EXPECT_EQ(Bytes(reply, reply + length), (Bytes{0, 5, 2, 0, 1, 0, 0}));
    EXPECT_EQ(VoskUsb_Generic(kdu_, revision, 1, nullptr, &length), USB_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(length, 7);
    EXPECT_EQ(VoskUsb_Generic(kdu_, revision, 0x10000, reply, &length), USB_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(VoskUsb_Generic(kdu_, revision, 1, reply, nullptr), USB_RESULT_BAD_ARGUMENT);
    EXPECT_EQ(module_->Requests().size(), 2u);
}

}  // namespace
}  // namespace kovrin::usblib::testing
