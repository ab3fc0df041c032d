// Spoilt replies on order, and the unit going quiet.

#include <gtest/gtest.h>

#include "tests/emulators/acceptor/test_line.h"

namespace kovrin::emulator::test {
namespace {

Bytes goodPollReply(EmulatorRig& rig)
{
    return rig.ask(0x06);
}

TEST(Faults, NoReplyForTheNextKThenAnswersAgain)
{
    EmulatorRig rig;
    Fault fault;
    fault.kind = FaultKind::NoReply;
    fault.times = 2;
    rig.unit().failNextReplies(0x06, fault);
    for (int i = 0; i < 3; ++i) rig.line().send(hostFrame(rig.address(), 0x06));
    ASSERT_TRUE(waitFor([&] { return rig.unit().pollCount() == 3; }));
    EXPECT_EQ(rig.line().readFrame()[4], 0x06);
    EXPECT_TRUE(rig.line().drain(50ms).empty()) << "only the third poll is answered";
}

TEST(Faults, StrayBytesComeBeforeTheReply)
{
    EmulatorRig rig;
    const Bytes good = goodPollReply(rig);
    Fault fault;
    fault.kind = FaultKind::StrayLeadingBytes;
    fault.strayBytes = {0x00, 0xFF, 0x27};
    rig.unit().failNextReplies(0x06, fault);
    rig.line().send(hostFrame(rig.address(), 0x06));
    Bytes expected = fault.strayBytes;
    expected.insert(expected.end(), good.begin(), good.end());
    EXPECT_EQ(rig.line().read(expected.size()), expected);
    EXPECT_EQ(goodPollReply(rig), good) << "the fault was used up";
}

TEST(Faults, BadCheckByteSpoilsOnlyTheCheckByte)
{
    EmulatorRig rig;
    const Bytes good = goodPollReply(rig);
    Fault fault;
    fault.kind = FaultKind::BadCheckByte;
    rig.unit().failNextReplies(kAnyCommand, fault);
    const Bytes spoilt = goodPollReply(rig);
    ASSERT_EQ(spoilt.size(), good.size());
    EXPECT_TRUE(std::equal(good.begin(), good.end() - 1, spoilt.begin()));
    EXPECT_NE(spoilt.back(), good.back());
}

TEST(Faults, SplitReplyPausesAtTheChosenByte)
{
    EmulatorRig rig;
    const Bytes good = goodPollReply(rig);
    Fault fault;
    fault.kind = FaultKind::SplitReply;
    fault.splitAt = 5;
    fault.pause = 400ms;
    rig.unit().failNextReplies(0x06, fault);
    rig.line().send(hostFrame(rig.address(), 0x06));
    // The first part however late it comes; the rest is still held back by the pause.
    Bytes first = rig.line().read(5);
    const Bytes early = rig.line().drain(150ms);
    first.insert(first.end(), early.begin(), early.end());
    EXPECT_EQ(first, Bytes(good.begin(), good.begin() + 5)) << "only the first part within the pause";
    const Bytes rest = rig.line().read(good.size() - 5);
    EXPECT_EQ(rest, Bytes(good.begin() + 5, good.end()));
}

TEST(Faults, AFaultForOneCommandLeavesOthersAlone)
{
    EmulatorRig rig;
    Fault fault;
    fault.kind = FaultKind::NoReply;
    rig.unit().failNextReplies(0x20, fault);
    EXPECT_EQ(goodPollReply(rig)[4], 0x06);
    rig.line().send(hostFrame(rig.address(), 0x20));
    const Bytes reply = rig.ask(0x20);
    ASSERT_FALSE(reply.empty());
    EXPECT_EQ(reply[4], 0x20);
    EXPECT_TRUE(rig.line().drain(50ms).empty()) << "the first read went unanswered";
}

TEST(Faults, FaultsAreUsedInTheOrderGiven)
{
    EmulatorRig rig;
    const Bytes good = goodPollReply(rig);
    Fault stray;
    stray.kind = FaultKind::StrayLeadingBytes;
    stray.strayBytes = {0xAB};
    Fault check;
    check.kind = FaultKind::BadCheckByte;
    rig.unit().failNextReplies(0x06, stray);
    rig.unit().failNextReplies(0x06, check);
    rig.line().send(hostFrame(rig.address(), 0x06));
    EXPECT_EQ(rig.line().read(1), Bytes{0xAB});
    EXPECT_EQ(rig.line().read(good.size()), good);
    EXPECT_NE(goodPollReply(rig).back(), good.back());
    EXPECT_EQ(goodPollReply(rig), good);
}

TEST(Faults, ClearingForgetsPendingFaults)
{
    EmulatorRig rig;
    Fault fault;
    fault.kind = FaultKind::NoReply;
    fault.times = 5;
    rig.unit().failNextReplies(kAnyCommand, fault);
    rig.unit().clearFaults();
    EXPECT_FALSE(goodPollReply(rig).empty());
}

TEST(Faults, SilentUnitHearsButDoesNotAnswer)
{
    EmulatorRig rig;
    rig.unit().setSilent(true);
    rig.line().send(hostFrame(rig.address(), 0x06));
    ASSERT_TRUE(waitFor([&] { return rig.unit().pollCount() == 1; }));
    rig.unit().setSilent(false);
    EXPECT_FALSE(goodPollReply(rig).empty());
    EXPECT_TRUE(rig.line().drain(50ms).empty()) << "the poll heard while silent stays unanswered";
}

TEST(Faults, UnpluggedUnitHearsNothing)
{
    EmulatorRig rig;
    rig.unit().setUnplugged(true);
    rig.line().send(hostFrame(rig.address(), 0x06));
    EXPECT_TRUE(rig.line().readFrame(200ms).empty());
    EXPECT_EQ(rig.unit().pollCount(), 0);
    rig.unit().setUnplugged(false);
    EXPECT_FALSE(goodPollReply(rig).empty());
    EXPECT_EQ(rig.unit().pollCount(), 1);
}

TEST(Faults, ShortDataKeepsTheFrameWellFormed)
{
    EmulatorRig rig;
    Fault fault;
    fault.kind = FaultKind::ShortData;
    fault.dataKept = 20;
    const Bytes full = rig.ask(0x20);
    ASSERT_EQ(full.size(), 176u + 6);
    rig.unit().failNextReplies(0x20, fault);
    const Bytes shortReply = rig.ask(0x20);
    ASSERT_EQ(shortReply.size(), 20u + 6);
    EXPECT_EQ(shortReply[2], 26);
    EXPECT_EQ(shortReply[3], 256 - 26);
    EXPECT_TRUE(std::equal(shortReply.begin() + 4, shortReply.end() - 1, full.begin() + 4));
    uint8_t x = 0;
    for (size_t i = 1; i < shortReply.size(); ++i)
        x ^= shortReply[i];
    EXPECT_EQ(x, 0) << "the check byte fits the shortened frame";
}

TEST(Faults, AStartUpHeldLongEndsWhenFinished)
{
    EmulatorRig rig;
    rig.unit().setStartUpTime(std::chrono::hours(1));
    rig.unit().powerCycle();
    EXPECT_TRUE(rig.unit().rebooting());
    rig.line().send(hostFrame(rig.address(), 0x06));
    EXPECT_TRUE(rig.line().readFrame(100ms).empty()) << "nothing answers while the unit starts";
    rig.unit().finishStartUp();
    EXPECT_FALSE(rig.unit().rebooting());
    EXPECT_FALSE(goodPollReply(rig).empty());
}

}  // namespace
}  // namespace kovrin::emulator::test
