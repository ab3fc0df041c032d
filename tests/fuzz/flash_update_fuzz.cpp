// The firmware update's step machine fed arbitrary replies, the way the
// window feeds it: a reply's code (an acknowledgement standing for the last
// command), or 0xAA when the guard ran out.
//
// Input: a flags byte (bit 0: the image is for the acceptor's variant, bit 1:
// a configuration write is pending), the image checksum (2 bytes), the block
// table (a count, then per entry a type byte, and for data an address and a
// length), then replies: a selector byte (0 mod 4: no reply), a code and data.

#include "app/config/eeprom_record.h"
#include "app/link/flash_update.h"
#include "tests/fuzz/checked_display.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/reply_frame.h"

using namespace kovrin;
using kovrin::fuzz::Input;

namespace {

class RecordingHost : public FlashUpdateHost, public fuzz::CheckedDisplay<FlashUpdateDisplay> {
public:
    explicit RecordingHost(const std::vector<FlashBlock>& table) : table_(table) {}

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
        lastBlock = index;
        Sent(CmdFlashBlock);
        return true;
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const uint8_t flags = in.Byte();
    const bool sameVariant = flags & 1;
    bool ConfigWritePending = (flags & 2) != 0;
    const uint32_t checksum = in.Word();
    const std::vector<FlashBlock> table = TableFrom(in);

    RecordingHost host(table);
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
