// Replies kept back until the test lets them go, so a host can be looked at while its request is out.

#include <gtest/gtest.h>

#include "tests/emulators/acceptor/test_line.h"

namespace kovrin::emulator::test {
namespace {

constexpr uint8_t kPoll = 0x06;
constexpr uint8_t kReadConfiguration = 0x20;

TEST(Hold, AHeldReplyWaitsForItsReleaseAndLaterFramesWaitBehindIt)
{
    EmulatorRig rig;
    EXPECT_EQ(rig.ask(kReadConfiguration)[4], kReadConfiguration) << "other commands are answered at once";
    rig.unit().holdNextReply(kPoll);
    rig.line().send(hostFrame(rig.address(), kPoll));
    ASSERT_TRUE(waitFor([&] { return rig.unit().replyHeld(); }));
    rig.line().send(hostFrame(rig.address(), kReadConfiguration));

    // While the reply is held the unit is busy: it neither answers nor hears.
    EXPECT_TRUE(rig.line().drain(50ms).empty());
    EXPECT_EQ(rig.unit().commandCount(kReadConfiguration), 1);

    rig.unit().releaseHeldReply();
    EXPECT_EQ(rig.line().readFrame()[4], kPoll);
    EXPECT_EQ(rig.line().readFrame()[4], kReadConfiguration);
    EXPECT_FALSE(rig.unit().replyHeld());
    EXPECT_EQ(rig.ask(kPoll)[4], kPoll) << "one reply only was held";
}

TEST(Hold, AReleaseBeforeTheRequestDropsTheHold)
{
    EmulatorRig rig;
    rig.unit().holdNextReply(kPoll);
    rig.unit().releaseHeldReply();
    EXPECT_EQ(rig.ask(kPoll)[4], kPoll);
    EXPECT_FALSE(rig.unit().replyHeld());
}

TEST(Hold, AUnitStopsWhileItHoldsAReply)
{
    EmulatorRig rig;
    rig.unit().holdNextReply(kPoll);
    rig.line().send(hostFrame(rig.address(), kPoll));
    ASSERT_TRUE(waitFor([&] { return rig.unit().replyHeld(); }));
    rig.unit().stop();  // returns: the held reply does not keep the unit's thread
    EXPECT_TRUE(rig.line().drain(20ms).empty());
}

}  // namespace
}  // namespace kovrin::emulator::test
