// The cable: the link, the line speed and the pace of the replies.

#include <gtest/gtest.h>

#include <stdlib.h>
#include <thread>

#include "tests/emulators/acceptor/test_line.h"

namespace kovrin::emulator::test {
namespace {

TEST(Line, PollsAtAnotherSpeedAreNoise)
{
    EmulatorRig rig;
    rig.line().setSpeed(38400);
    rig.line().send({0x37});
    rig.line().send(hostFrame(rig.address(), 0x06));
    ASSERT_TRUE(waitFor([&] { return rig.unit().wrongSpeedByteCount() == 7; }));
    EXPECT_EQ(rig.unit().lastLineSpeed(), 38400);
    EXPECT_EQ(rig.unit().pollCount(), 0);

    rig.line().setSpeed(9600);
    EXPECT_FALSE(rig.ask(0x06).empty());
    EXPECT_EQ(rig.unit().lastLineSpeed(), 9600);
    EXPECT_TRUE(rig.line().drain(50ms).empty()) << "nothing answers the poll sent at 38400";
}

TEST(Line, WakeByteAtTheRightSpeedDoesNotDisturbThePoll)
{
    EmulatorRig rig;
    rig.line().send({0x37});
    EXPECT_EQ(rig.ask(0x06)[4], 0x06);
}

TEST(Line, AHalfFrameGivenUpAfterAPauseDoesNotSwallowTheNext)
{
    EmulatorRig rig;
    const Bytes poll = hostFrame(rig.address(), 0x06);
    rig.line().send(Bytes(poll.begin(), poll.begin() + 4));
    std::this_thread::sleep_for(250ms);  // longer than the unit's inter-byte timeout
    EXPECT_EQ(rig.ask(0x06)[4], 0x06);
}

TEST(Line, PacedRepliesTakeTheirWireTime)
{
    AcceptorOptions options = fastOptions(5);
    options.pacing = true;
    EmulatorRig rig(options);
    const auto start = std::chrono::steady_clock::now();
    const Bytes reply = rig.ask(0x06);
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_EQ(reply.size(), 47u);
    // Ten bits a byte at 9600 baud: the reply cannot arrive sooner than this.
    EXPECT_GE(took, std::chrono::microseconds(47 * 10 * 1000000 / 9600));
}

TEST(Line, ReopeningThePortKeepsTheUnitAnswering)
{
    char pattern[] = "/tmp/kovrin-link-XXXXXX";
    const std::filesystem::path folder = ::mkdtemp(pattern);
    const auto link = folder / "COM1";
    AcceptorEmulator unit(fastOptions());
    unit.start(link);
    // The host closes its port and opens it again, as it does on every reconnection.
    for (int round = 0; round < 3; ++round) {
        TestLine line(link);
        line.send(hostFrame(4, 0x06));
        const Bytes reply = line.readFrame();
        ASSERT_FALSE(reply.empty()) << "round " << round;
        EXPECT_EQ(reply[4], 0x06);
    }
    EXPECT_EQ(unit.pollCount(), 3);
    unit.stop();
    std::filesystem::remove_all(folder);
}

TEST(Link, StartReplacesAnOldLinkAndStopRemovesIt)
{
    char pattern[] = "/tmp/kovrin-link-XXXXXX";
    const std::filesystem::path folder = ::mkdtemp(pattern);
    const auto link = folder / "COM1";
    std::filesystem::create_symlink("/dev/null", link);
    {
        AcceptorEmulator unit(fastOptions());
        unit.start(link);
        EXPECT_EQ(std::filesystem::read_symlink(link), unit.devicePath());
        unit.stop();
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    }
    std::filesystem::remove_all(folder);
}

TEST(Link, StopLeavesALinkThatAnotherUnitTookOver)
{
    char pattern[] = "/tmp/kovrin-link-XXXXXX";
    const std::filesystem::path folder = ::mkdtemp(pattern);
    const auto link = folder / "COM1";
    AcceptorEmulator first(fastOptions());
    first.start(link);
    AcceptorEmulator second(fastOptions());
    second.start(link);
    first.stop();
    EXPECT_EQ(std::filesystem::read_symlink(link), second.devicePath());
    second.stop();
    std::filesystem::remove_all(folder);
}

TEST(Options, TextsTooLongForTheirFieldsAreRefused)
{
    AcceptorOptions options = fastOptions(1);
    options.serial = "12345678901";
    EXPECT_THROW(AcceptorEmulator{options}, std::invalid_argument);
    options = fastOptions(5);
    options.versionText = "00431";
    EXPECT_THROW(AcceptorEmulator{options}, std::invalid_argument);
}

}  // namespace
}  // namespace kovrin::emulator::test
