// The firmware update's step machine fed arbitrary replies, the way the
// window feeds it: a reply's code (an acknowledgement standing for the last
// command), or 0xAA when the guard ran out.
//
// Input: a flags byte (bit 0: the image is for the acceptor's variant, bit 1:
// a configuration write is pending), the image checksum (2 bytes), the block
// table (a count, then per entry a type byte, and for data an address and a
// length), then replies: a selector byte (0 mod 4: no reply), a code and data.
// Bit 2 of the flags byte gives the frames' address (4, else 0).
//
// Each block sent is checked against a frame laid out here from the frame's
// byte list, with the bank taken here from the table's address records. The
// input's first bytes, read once more, are a date and an image for the date
// stamp that ends an update, checked against a day count of its own.

#include "app/config/eeprom_record.h"
#include "app/core/date_stamp.h"
#include "app/link/flash_update.h"
#include "app/link/update_frames.h"
#include "tests/fuzz/checked_display.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/serial_reference.h"
#include "tests/support/reply_frame.h"

using namespace kovrin;
using kovrin::fuzz::Input;

namespace {

// The bank that the address records before entry `index` select, from bank 0.
uint8_t BankBefore(const std::vector<FlashBlock>& table, long index)
{
    uint8_t bank = 0;
    for (long i = 0; i < index; ++i)
        if (table[size_t(i)].type == 0x02 && !table[size_t(i)].data.empty())
            bank = fuzz::BankNamed(table[size_t(i)].data[0], bank);
    return bank;
}

class RecordingHost : public FlashUpdateHost, public fuzz::CheckedDisplay<FlashUpdateDisplay> {
public:
    RecordingHost(const std::vector<FlashBlock>& table, uint8_t address) : table_(table), address_(address) {}

    void SendEraseMemory() override { Sent(CmdEraseMemory); }
    void SendUpdateBootstrap() override { Sent(CmdUpdateBootstrap); }
    void SendVerifyChecksum() override { Sent(CmdVerifyChecksum); }
    bool SendFlashBlock(const FlashBlock& block, uint8_t FlashBank) override
    {
        // Only data entries of the table go, in table order; a retry sends the same entry again.
        FUZZ_CHECK(&block >= table_.data() && &block < table_.data() + table_.size());
        FUZZ_CHECK(block.type == HexData);
        FUZZ_CHECK(FlashBank <= 3);
        const long index = &block - table_.data();
        FUZZ_CHECK(index >= lastBlock);
        // No data entry is passed over on the way.
        for (long i = lastBlock + 1; i < index; ++i)
            FUZZ_CHECK(table_[size_t(i)].type != 0x00);
        FUZZ_CHECK(FlashBank == BankBefore(table_, index));
        FUZZ_CHECK(FlashBlockFrame(block, FlashBank, address_) ==
                   fuzz::LaidOutBlockFrame(address_, FlashBank, block.address, block.data));
        lastBlock = index;
        Sent(CmdFlashBlock);
        return true;
    }
    void CheckNoDataEntryLeft()
    {
        // The boot strap follows the last data entry before the table's end or its end-of-file entry.
        for (long i = lastBlock + 1; i < long(table_.size()) && table_[size_t(i)].type != 0x01; ++i)
            FUZZ_CHECK(table_[size_t(i)].type != 0x00);
    }
    void SendWakeByte() override {}
    void Pause(int ms) override { FUZZ_CHECK(ms > 0 && ms <= 1000); }
    void ArmGuard(int ms) override
    {
        FUZZ_CHECK(ms > 0);
        guardArmed = true;
    }
    void UpdateVerified() override { verified = true; }

    void Sent(uint8_t code)
    {
        LastCommand = code;
        ++sends;
    }
    void NewReply()
    {
        sends = 0;
        guardArmed = false;
        verified = false;
    }
    void NewUpdate() { lastBlock = -1; }

    uint8_t LastCommand = CmdStartUpdate;
    int sends = 0;
    bool guardArmed = false;
    bool verified = false;
    long lastBlock = -1;

private:
    const std::vector<FlashBlock>& table_;
    uint8_t address_;
};

std::vector<FlashBlock> TableFrom(Input& in)
{
    std::vector<FlashBlock> table;
    const int count = in.Byte() % 16;
    for (int i = 0; i < count; ++i) {
        const uint8_t kind = in.Byte();
        FlashBlock block;
        switch (kind % 4) {
        case 0:
            block.type = HexData;
            block.address = in.Word();
            block.data.assign(size_t(in.Byte() % FlashPage) + 1, uint8_t(i));
            break;
        case 1:
            block.type = HexEndOfFile;
            break;
        case 2:
            block.type = HexSegmentAddress;
            block.data = {in.Byte(), 0};
            break;
        default:
            block.type = kind;  // a type the boot loader does not know
            break;
        }
        table.push_back(block);
    }
    return table;
}

// The reply code that answers a step well.
uint8_t ExpectedFor(int32_t step)
{
    switch (step) {
    case 2: return CmdEraseMemory;
    case 3: return CmdFlashBlock;
    case 4: return CmdUpdateBootstrap;
    case 5: return CmdVerifyChecksum;
    default: return 0;
    }
}

// The stamp's five bytes: the day count low byte first and three zeros, for a
// Tekra image from revision "0018" and a Sarnel one from "0043"; else the
// calendar, year - 2000 first.
void CheckDateStamp(Input& in)
{
    static const std::string kRevisions[] = {"0017", "0018", "0042", "0043", "0044", "", "001", "9999", "0018x"};
    LocalTime now{};
    now.year = 2010 + in.Byte() % 200;
    now.month = 1 + in.Byte() % 12;
    now.day = 1 + in.Byte() % fuzz::DaysInMonth(now.year, now.month);
    now.hour = in.Byte() % 24;
    now.minute = in.Byte() % 60;
    const uint8_t variant = in.Byte() % 11;
    const std::string& revision = kRevisions[in.Byte() % std::size(kRevisions)];

    const bool dayCount = (variant == 7 && revision >= "0018") || (variant == 5 && revision >= "0043");
    FUZZ_CHECK(DateStampUsesDayCount(variant, revision) == dayCount);
    const long d = fuzz::DaysSince2010(now.year, now.month, now.day);
    const std::array<uint8_t, 5> days = {uint8_t(d % 256), uint8_t(d / 256 % 256), 0, 0, 0};
    const std::array<uint8_t, 5> calendar = {uint8_t(now.year - 2000), uint8_t(now.month), uint8_t(now.day),
                                             uint8_t(now.hour), uint8_t(now.minute)};
    FUZZ_CHECK(DateStampData(now, true) == days);
    FUZZ_CHECK(DateStampData(now, false) == calendar);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input stamp(data, size);
    CheckDateStamp(stamp);

    Input in(data, size);
    const uint8_t flags = in.Byte();
    const bool sameVariant = flags & 1;
    bool ConfigWritePending = (flags & 2) != 0;
    const uint8_t address = (flags & 4) ? 4 : 0;
    const uint32_t checksum = in.Word();
    const std::vector<FlashBlock> table = TableFrom(in);

    RecordingHost host(table, address);
    FlashUpdate flash(host, host);
    int failures = 0;  // replies in a row that did not answer the current step

    while (!in.Empty()) {
        if (flash.FlashStep == 0) {
            // The window starts a new update; a late reply never reaches a finished one.
            flash.Start(&table, checksum, sameVariant);
            host.NewUpdate();
            failures = 0;
        }
        const uint8_t selector = in.Byte();
        Bytes frame;
        uint8_t code = ReplyTimeOut;
        if (selector % 4 != 0) {
            const uint8_t replyCode = in.Byte();
            const Bytes replyData = in.Bytes(in.Byte() % 8);
            frame = test::ReplyFrame(replyCode, replyData);
            code = replyCode == ReplyAcknowledge ? host.LastCommand : replyCode;
        }

        const int32_t step = flash.FlashStep;
        host.NewReply();
        const int32_t result = flash.OnReply(code, frame, ConfigWritePending);
        if ((step == 2 || step == 3) && flash.FlashStep == 4)
            host.CheckNoDataEntryLeft();

        FUZZ_CHECK(result == flash.FlashResult);
        FUZZ_CHECK(result >= FlashNoResult && result <= FlashPowerCycleNeeded);
        FUZZ_CHECK(flash.FlashStep >= 0 && flash.FlashStep <= 5);
        FUZZ_CHECK(flash.FlashRetryCount >= 0 && flash.FlashRetryCount <= 4);
        FUZZ_CHECK(flash.FlashBlockNo >= 0 && flash.FlashBlockNo <= int32_t(table.size()));
        FUZZ_CHECK(flash.FlashBank <= 3);
        FUZZ_CHECK(host.sends <= 2);
        if (result == FlashEraseFailed || result == FlashBlockFailed || result == FlashBootstrapFailed ||
            result == FlashChecksumFailed)
            FUZZ_CHECK(!FlashResultText(result, flash.FlashBlockNo).empty());

        // The checksum is taken as right only from a verify reply that vouches for it.
        if (host.verified) {
            FUZZ_CHECK(step == 5 && code == CmdVerifyChecksum && result == FlashNoResult);
            FUZZ_CHECK(frame[4] == ReplyAcknowledge || (frame.size() >= 8 && frame[5] * 256u + frame[6] == checksum));
        }

        // An update never stalls: every reply ends it, or sends on and watches for the answer.
        if (step != 0)
            FUZZ_CHECK(result != FlashNoResult || host.verified || host.guardArmed);

        // Each step is tried four times at most.
        if (step >= 2 && flash.FlashStep == step && code != ExpectedFor(step))
            ++failures;
        else
            failures = 0;
        FUZZ_CHECK(failures < 4 || result != FlashNoResult);

        if (result != FlashNoResult || host.verified) {
            flash.FlashStep = 0;  // reported (or verified): the window ends the update
            flash.FlashRetryCount = 0;
        }
    }
    return 0;
}
