#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/config/eeprom_record.h"
#include "app/link/flash_update.h"
#include "tests/support/reply_frame.h"

namespace kovrin {
namespace {

// Records what the step machine asks of the link, as one line per call.
class FakeHost : public FlashUpdateHost, public FlashUpdateDisplay {
public:
    std::vector<std::string> calls;
    std::string status;
    int guard = 0;
    bool writeFails = false;
    bool verified = false;

    void SendEraseMemory() override { calls.push_back("erase"); }
    void SendUpdateBootstrap() override { calls.push_back("bootstrap"); }
    void SendVerifyChecksum() override { calls.push_back("verify"); }
    bool SendFlashBlock(const FlashBlock& block, uint8_t bank) override
    {
        calls.push_back("block " + std::to_string(block.address) + " bank " + std::to_string(bank));
        return !writeFails;
    }
    void SendWakeByte() override { calls.push_back("wake"); }
    void Pause(int ms) override { calls.push_back("pause " + std::to_string(ms)); }
    void ArmGuard(int ms) override { guard = ms; }
    void ShowStatus(const std::string& text) override { status = text; }
    void ShowProgress(int) override {}
    void ShowDeviceChecksum(const std::string& hex) override { calls.push_back("shows " + hex); }
    void CountBlockRetry() override {}
    void CountBootstrapRetry() override {}
    void ButtonsBusy() override {}
    void UpdateVerified() override { verified = true; }
};

// Two data blocks, a bank change with a block behind it, the end.
std::vector<FlashBlock> Table()
{
    return {
        {0x4000, HexData, Bytes(128, 1)},
        {0x4080, HexData, Bytes(16, 2)},
        {0x0000, HexSegmentAddress, {0x10, 0x00}},
        {0x8000, HexData, Bytes(16, 3)},
        {0x0000, HexEndOfFile, {}},
    };
}

const uint8_t kTimeout = ReplyTimeOut;

class StepMachine : public ::testing::Test {
protected:
    void SetUp() override { update.Start(&table, 0x1234, true); }
    int32_t Reply(uint8_t code, const Bytes& frame = {}) { return update.OnReply(code, frame, pending); }
    void ToStep(int step)
    {
        Reply(kTimeout);  // step 1 erases on anything, a time-out too
        if (step >= 3)
            Reply(CmdEraseMemory);
        if (step >= 4)
            while (update.FlashStep == 3)
                Reply(CmdFlashBlock);
        if (step >= 5)
            Reply(CmdUpdateBootstrap);
        ASSERT_EQ(update.FlashStep, step);
        host.calls.clear();
    }

    FakeHost host;
    FlashUpdate update{host, host};
    std::vector<FlashBlock> table = Table();
    bool pending = false;
};

TEST_F(StepMachine, AGoodUpdateSendsEverythingInOrder)
{
    Reply(kTimeout);
    EXPECT_EQ(host.guard, 2000);
    Reply(CmdEraseMemory);
    EXPECT_EQ(host.guard, 500);
    Reply(CmdFlashBlock);
    Reply(CmdFlashBlock);  // the bank record and its block go out as one step
    Reply(CmdFlashBlock);
    EXPECT_EQ(update.FlashStep, 4);
    EXPECT_EQ(host.guard, 2000);
    Reply(CmdUpdateBootstrap);
    EXPECT_EQ(host.guard, 3000);
    EXPECT_EQ(Reply(CmdVerifyChecksum, test::ReplyFrame(0x13, {0x12, 0x34})), FlashNoResult);
    EXPECT_TRUE(host.verified);
    const std::vector<std::string> expected = {
        "erase", "block 16384 bank 0", "block 16512 bank 0", "block 32768 bank 1", "bootstrap", "verify",
        "shows 1234",
    };
    EXPECT_EQ(host.calls, expected);
}

TEST_F(StepMachine, EachStepRetriesThreeTimesThenGivesItsResult)
{
    struct Case {
        int step;
        uint8_t expected;
        int32_t sameVariantResult;
        int32_t otherVariantResult;
    };
    const Case cases[] = {
        {2, CmdEraseMemory, FlashEraseFailed, FlashEraseFailed},
        {3, CmdFlashBlock, FlashBlockFailed, FlashBlockFailed},
        {4, CmdUpdateBootstrap, FlashBootstrapFailed, FlashPowerCycleNeeded},
        {5, CmdVerifyChecksum, FlashChecksumFailed, FlashPowerCycleNeeded},
    };
    for (const Case& c : cases) {
        for (bool same : {true, false}) {
            for (uint8_t bad : {kTimeout, uint8_t(0x77)}) {
                FakeHost h;
                FlashUpdate u(h, h);
                u.Start(&table, 0x1234, same);
                bool p = false;
                u.OnReply(kTimeout, {}, p);
                if (c.step >= 3)
                    u.OnReply(CmdEraseMemory, {}, p);
                if (c.step >= 4)
                    while (u.FlashStep == 3)
                        u.OnReply(CmdFlashBlock, {}, p);
                if (c.step >= 5)
                    u.OnReply(CmdUpdateBootstrap, {}, p);
                ASSERT_EQ(u.FlashStep, c.step);
                for (int n = 1; n <= 3; ++n) {
                    EXPECT_EQ(u.OnReply(bad, {}, p), FlashNoResult) << c.step << " try " << n;
                    EXPECT_EQ(u.FlashRetryCount, n);
                    EXPECT_EQ(u.FlashStep, c.step);
                }
                EXPECT_EQ(u.OnReply(bad, {}, p), same ? c.sameVariantResult : c.otherVariantResult)
                    << "step " << c.step << (same ? " same" : " other");
            }
        }
    }
}

TEST_F(StepMachine, ARetrySucceedingResetsTheCount)
{
    ToStep(2);
    Reply(kTimeout);
    Reply(kTimeout);
    EXPECT_EQ(host.status, "Erasing . . . #2");
    const std::vector<std::string> retry = {"wake", "pause 500", "erase", "wake", "pause 500", "erase"};
    EXPECT_EQ(host.calls, retry);
    Reply(CmdEraseMemory);
    EXPECT_EQ(update.FlashStep, 3);
    EXPECT_EQ(update.FlashRetryCount, 0);
}

TEST_F(StepMachine, AFailedBlockIsSentAgain)
{
    ToStep(3);
    Reply(CmdFlashBlock);  // block 1 sent, FlashBlockNo 2
    host.calls.clear();
    Reply(kTimeout);
    EXPECT_EQ(update.FlashBlockNo, 2);
    EXPECT_EQ(host.status, "Retry #1 => Block 1");
    EXPECT_EQ(host.calls, std::vector<std::string>{"block 16512 bank 0"});
    Reply(0x55);
    Reply(0x55);
    EXPECT_EQ(Reply(0x55), FlashBlockFailed);
    EXPECT_EQ(FlashResultText(FlashBlockFailed, update.FlashBlockNo), "Program Failed at Block #1");
}

TEST_F(StepMachine, ChecksumReplies)
{
    struct Case {
        const char* name;
        Bytes frame;
        bool verified;
        int32_t result;
    };
    const Case cases[] = {
        {"matching sum", test::ReplyFrame(0x13, {0x12, 0x34}), true, FlashNoResult},
        {"plain acknowledgement", test::ReplyFrame(0x99), true, FlashNoResult},
        {"other sum", test::ReplyFrame(0x13, {0x12, 0x35}), false, FlashChecksumFailed},
    };
    for (const Case& c : cases) {
        FakeHost h;
        FlashUpdate u(h, h);
        u.Start(&table, 0x1234, true);
        bool p = false;
        u.OnReply(kTimeout, {}, p);
        u.OnReply(CmdEraseMemory, {}, p);
        while (u.FlashStep == 3)
            u.OnReply(CmdFlashBlock, {}, p);
        u.OnReply(CmdUpdateBootstrap, {}, p);
        EXPECT_EQ(u.OnReply(CmdVerifyChecksum, c.frame, p), c.result) << c.name;
        EXPECT_EQ(h.verified, c.verified) << c.name;
    }
    // A sum reply without its two bytes is not read; it counts as a failure.
    ToStep(5);
    EXPECT_EQ(Reply(CmdVerifyChecksum, test::ReplyFrame(0x13)), FlashNoResult);
    EXPECT_EQ(update.FlashRetryCount, 1);
    EXPECT_FALSE(host.verified);
}

TEST_F(StepMachine, PendingConfigurationWriteTakesOneBootstrapReply)
{
    ToStep(4);
    pending = true;
    Reply(CmdUpdateBootstrap);
    EXPECT_EQ(pending, false);
    EXPECT_EQ(update.FlashStep, 4);
    EXPECT_EQ(host.guard, 500);
    Reply(CmdUpdateBootstrap);
    EXPECT_EQ(update.FlashStep, 5);
}

TEST_F(StepMachine, AWriteThatFailsEndsTheUpdate)
{
    ToStep(2);
    host.writeFails = true;
    EXPECT_EQ(Reply(CmdEraseMemory), FlashBlockFailed);
}

TEST_F(StepMachine, TheTableEndsTheBlocksEvenWithoutItsEndRecord)
{
    table.pop_back();  // no end-of-file entry
    ToStep(3);
    for (int i = 0; i < 10 && update.FlashStep == 3; ++i)
        Reply(CmdFlashBlock);
    EXPECT_EQ(update.FlashStep, 4);
    EXPECT_LE(update.FlashBlockNo, int32_t(table.size()));
}

}  // namespace
}  // namespace kovrin
