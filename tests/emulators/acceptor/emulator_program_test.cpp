// The acceptor-emulator program: it links, answers, and cleans up on SIGTERM.

#include <gtest/gtest.h>

#include <csignal>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/emulators/acceptor/test_line.h"

namespace kovrin::emulator::test {
namespace {

TEST(Program, AnswersOnItsLinkAndRemovesItOnSigterm)
{
    char pattern[] = "/tmp/kovrin-prog-XXXXXX";
    const std::filesystem::path folder = ::mkdtemp(pattern);
    const std::string link = (folder / "COM1").string();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::execl(EMULATOR_PROGRAM, EMULATOR_PROGRAM, link.c_str(), "--variant", "8", "--no-pacing",
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const bool linked = waitFor([&] { return std::filesystem::is_symlink(link); }, 10000ms);
    Bytes reply;
    if (linked) {
        TestLine line(link);
        line.send(hostFrame(0, 0x06));
        reply = line.readFrame();
    }
    ::kill(child, SIGTERM);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(linked);
    ASSERT_GE(reply.size(), 6u);
    EXPECT_EQ(reply[5], 8);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace kovrin::emulator::test
