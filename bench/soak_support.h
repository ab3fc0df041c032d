#pragma once
// What the soaks share: running Kovrin's event loop until something holds,
// and the process's resident memory and open descriptors.

#include <QEventLoop>
#include <QTimer>
#include <QtGlobal>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

namespace kovrin::soak {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Runs the event loop (Kovrin's timers, port and USB notices) until `done` or `limit` passes.
inline bool RunUntil(const std::function<bool()>& done, Clock::duration limit)
{
    const auto end = Clock::now() + limit;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done() || Clock::now() >= end)
            loop.quit();
    });
    check.start(5);
    loop.exec();
    return done();
}

inline void RunFor(Clock::duration d)
{
    RunUntil([] { return false; }, d);
}

inline long ResidentKilobytes()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        long value;
        if (key == "VmRSS:" && status >> value)
            return value;
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

inline long OpenDescriptors()
{
    long n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// `soak [SECONDS] [SEED]`, with a seed from the clock when none is given; Kovrin runs offscreen.
struct Arguments {
    int seconds = 120;
    unsigned seed = 0;
};
inline Arguments ArgumentsOf(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Arguments a;
    a.seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : a.seconds;
    a.seed = argc > 2 ? unsigned(std::strtoul(argv[2], nullptr, 10))
                      : unsigned(Clock::now().time_since_epoch().count());
    return a;
}

// Resident memory and open descriptors from its making to the print.
class Growth {
public:
    void Print(const char* memoryNote) const
    {
        const long memory = ResidentKilobytes();
        const long descriptors = OpenDescriptors();
        std::printf("resident memory: %.1f MB after start-up, %.1f MB at the end, growth %.1f MB (goal 0%s)\n",
                    memory_ / 1024.0, memory / 1024.0, (memory - memory_) / 1024.0, memoryNote);
        std::printf("open descriptors: %ld after start-up, %ld at the end, growth %ld (goal 0)\n", descriptors_,
                    descriptors, descriptors - descriptors_);
    }

private:
    long memory_ = ResidentKilobytes();
    long descriptors_ = OpenDescriptors();
};

}  // namespace kovrin::soak
