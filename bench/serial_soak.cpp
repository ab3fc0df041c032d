// Soak of the serial link: Kovrin (offscreen) polls the emulated acceptor
// through a line that is spoilt again and again, one fault at a time chosen at
// random: noise, silence, split replies, bad check bytes, bursts of rubbish and
// hang-ups. After each fault it waits for Kovrin's next identification (the
// calibration read Kovrin sends on every identification) before a quiet spell
// and the next fault.
//
//   serial-soak [SECONDS] [SEED]     (default 120 s, a seed from the clock)
//
// Printed: the faults, how many Kovrin recovered from, the longest time from a
// fault's end to the next identification (goal at most 3 s), the frames Kovrin
// sent that were malformed (goal 0), and the growth of resident memory and of
// open descriptors from the start to the end (goal 0).

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "app/settings/program_folder.h"
#include "app/main/start_up.h"
#include "app/mainwindow/form_main.h"
#include "app/widgets/message_seam.h"
#include "bench/serial_line.h"
#include "bench/soak_support.h"
#include "emulators/acceptor/acceptor_emulator.h"

namespace {

using namespace kovrin;
using namespace kovrin::soak;
using emulator::Fault;
using emulator::FaultKind;

constexpr uint8_t kPoll = 0x06;
constexpr uint8_t kMemoryRead = 0x24;
constexpr auto kGiveUp = std::chrono::seconds(30);

enum class Kind { Noise, Burst, Silence, SplitReplies, BadCheckBytes, StrayBytes, HangUp, Count };

const char* Name(Kind kind)
{
    switch (kind) {
    case Kind::Noise: return "noise";
    case Kind::Burst: return "burst of rubbish";
    case Kind::Silence: return "silence";
    case Kind::SplitReplies: return "split replies";
    case Kind::BadCheckBytes: return "bad check bytes";
    case Kind::StrayBytes: return "stray bytes before replies";
    case Kind::HangUp: return "hang-up";
    case Kind::Count: break;
    }
    return "";
}

struct Tally {
    int faults = 0;
    int recovered = 0;
    double longest = 0;
    std::string longestWhat;
};

class Soak {
public:
    Soak(emulator::AcceptorEmulator& unit, soak::SerialLine& line, unsigned seed)
        : unit_(unit), line_(line), random_(seed)
    {
    }

    // One fault, carried out until its end; returns a description of it.
    std::string Inject(Kind kind)
    {
        switch (kind) {
        case Kind::Noise: {
            RunFor(Between(0, 500));
            line_.Rubbish(RandomBytes(int(Between(1, 5).count())));
            return "noise";
        }
        case Kind::Burst: {
            const int writes = int(Between(3, 10).count());
            for (int i = 0; i < writes; ++i) {
                line_.Rubbish(RandomBytes(int(Between(20, 60).count())));
                RunFor(Between(5, 40));
            }
            return "a burst of " + std::to_string(writes) + " writes";
        }
        case Kind::Silence: {
            const auto quiet = Between(300, 4000);
            unit_.setSilent(true);
            RunFor(quiet);
            unit_.setSilent(false);
            return "a silence of " + Ms(quiet);
        }
        case Kind::SplitReplies: {
            Fault fault;
            fault.kind = FaultKind::SplitReply;
            fault.splitAt = size_t(Between(1, 20).count());
            fault.pause = Between(10, 400);
            return SpoilPolls(fault, "split replies (pause " + Ms(fault.pause) + ")");
        }
        case Kind::BadCheckBytes: {
            Fault fault;
            fault.kind = FaultKind::BadCheckByte;
            return SpoilPolls(fault, "bad check bytes");
        }
        case Kind::StrayBytes: {
            Fault fault;
            fault.kind = FaultKind::StrayLeadingBytes;
            fault.strayBytes = RandomBytes(int(Between(1, 12).count()));
            return SpoilPolls(fault, "stray bytes before replies");
        }
        case Kind::HangUp: {
            const auto gone = Between(100, 3000);
            line_.HangUp();
            RunFor(gone);
            line_.PlugIn();
            return "a hang-up of " + Ms(gone);
        }
        case Kind::Count: break;
        }
        return "";
    }

    Kind NextKind() { return Kind(std::uniform_int_distribution<int>(0, int(Kind::Count) - 1)(random_)); }
    std::chrono::milliseconds Between(int low, int high)
    {
        return std::chrono::milliseconds(std::uniform_int_distribution<int>(low, high)(random_));
    }

private:
    // Spoils the replies to the next 1 to 5 polls; ends once the last of them has gone out.
    std::string SpoilPolls(Fault fault, const std::string& what)
    {
        fault.times = int(Between(1, 5).count());
        const int polls = unit_.pollCount();
        unit_.failNextReplies(kPoll, fault);
        RunUntil([&] { return unit_.pollCount() >= polls + fault.times; }, kGiveUp);
        RunFor(fault.kind == FaultKind::SplitReply ? fault.pause + std::chrono::milliseconds(100)
                                                  : std::chrono::milliseconds(100));
        return std::to_string(fault.times) + " x " + what;
    }

    std::vector<uint8_t> RandomBytes(int n)
    {
        std::vector<uint8_t> bytes(static_cast<size_t>(n));
        for (uint8_t& b : bytes)
            b = uint8_t(std::uniform_int_distribution<int>(0, 255)(random_));
        return bytes;
    }

    static std::string Ms(std::chrono::milliseconds d) { return std::to_string(d.count()) + " ms"; }

    emulator::AcceptorEmulator& unit_;
    soak::SerialLine& line_;
    std::mt19937 random_;
};

}  // namespace

// Freed memory that AddressSanitizer holds back to catch late uses would show as growth.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=0:thread_local_quarantine_size_kb=0"; }

int main(int argc, char** argv)
{
    const auto [seconds, seed] = ArgumentsOf(argc, argv);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SetProgramFolderForTesting(dir.path());
    int messages = 0;
    SetMessageHandler([&](const MessageRequest& m) {
        ++messages;
        std::printf("message: %s\n", qPrintable(m.text));
        return MsgResult::Ok;
    });

    emulator::AcceptorOptions options;
    options.variant = 5;
    options.versionText = "0043";
    options.pacing = true;
    emulator::AcceptorEmulator unit(options);
    unit.start((dir.path() + "/unit").toStdString());
    soak::SerialLine line((dir.path() + "/COM1").toStdString(), unit.devicePath());

    const std::unique_ptr<FormMain> started = Main();
    FormMain& form = *started;
    const auto identifications = [&] { return unit.commandCount(kMemoryRead); };
    if (!RunUntil([&] { return form.Label7[0]->text() == "HARDWARE FOUND" && identifications() > 0; },
                  std::chrono::seconds(10))) {
        std::printf("the emulated acceptor was not found\n");
        return 1;
    }
    RunFor(std::chrono::seconds(1));
    const Growth growth;
    const int malformedAtStart = line.MalformedFrames();

    std::printf("serial soak: %d s, seed %u\n", seconds, seed);
    std::fflush(stdout);
    Soak soak(unit, line, seed);
    std::map<Kind, Tally> tallies;
    Tally all;
    int lost = 0;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        const Kind kind = soak.NextKind();
        const std::string what = soak.Inject(kind);
        const auto faultEnd = Clock::now();
        const int before = identifications();
        const bool recovered = RunUntil([&] { return identifications() > before; }, kGiveUp);
        const double took = Seconds(Clock::now() - faultEnd);
        for (Tally* t : {&tallies[kind], &all}) {
            ++t->faults;
            if (!recovered)
                continue;
            ++t->recovered;
            if (took > t->longest) {
                t->longest = took;
                t->longestWhat = what;
            }
        }
        if (!recovered) {
            ++lost;
            std::printf("no identification within %.0f s after %s\n", Seconds(kGiveUp), what.c_str());
            std::fflush(stdout);
        }
        RunFor(soak.Between(200, 1500));
    }
    RunFor(std::chrono::seconds(1));

    std::printf("faults: %d\n", all.faults);
    for (const auto& [kind, t] : tallies)
        std::printf("  %-28s %4d, recovered %4d, longest to the next identification %.2f s\n", Name(kind), t.faults,
                    t.recovered, t.longest);
    std::printf("recoveries: %d of %d\n", all.recovered, all.faults);
    std::printf("longest time from a fault's end to the next good identification: %.2f s (goal <= 3 s), after %s\n",
                all.longest, all.longestWhat.c_str());
    std::printf("frames Kovrin sent: %d whole, %d wake bytes, %d malformed (goal 0)\n", line.GoodFrames(),
                line.WakeBytes(), line.MalformedFrames() - malformedAtStart);
    growth.Print("");
    std::printf("messages shown: %d\n", messages);
    return lost == 0 ? 0 : 1;
}
