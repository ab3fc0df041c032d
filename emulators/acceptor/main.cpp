// acceptor-emulator: an emulated acceptor for the demo and for manual tests; runs until SIGINT or SIGTERM.

#include <csignal>
#include <cstdio>
#include <exception>
#include <pthread.h>

#include "emulators/acceptor/acceptor_emulator.h"
#include "emulators/acceptor/command_line.h"

int main(int argc, char** argv)
{
    using namespace kovrin::emulator;
    CommandLine line;
    try {
        line = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "acceptor-emulator: %s\n%s", e.what(), usageText().c_str());
        return 2;
    }
    if (line.helpWanted) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }

    // Blocked before the unit's thread starts, so only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        const int variant = line.options.variant;
        AcceptorEmulator unit(std::move(line.options));
        unit.start(line.linkPath);
        std::printf("acceptor-emulator: variant %d on %s, linked as %s\n", variant, unit.devicePath().c_str(),
                    line.linkPath.c_str());
        std::fflush(stdout);
        int received = 0;
        sigwait(&stopSignals, &received);
        unit.stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "acceptor-emulator: %s\n", e.what());
        return 1;
    }
    return 0;
}
