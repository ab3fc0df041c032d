// The boot loader at 38400 baud: switch-over, erase, blocks, checksum, boot strap, audit reset, reboot into
// the new image, spoilt replies and power cycles, over a real pseudo-terminal.

#include <gtest/gtest.h>

#include <numeric>
#include <string>

#include "emulators/acceptor/identity.h"
#include "tests/emulators/acceptor/test_line.h"

namespace kovrin::emulator::test {
namespace {

const Bytes kStartKey{0x55, 0xA0, 0x55, 0x88};
const Bytes kFlashKey{0x55, 0xA0};

bool wellFormed(const Bytes& frame)
{
    if (frame.size() < 6 || frame[0] != 0x27 || frame[1] != 0x08 || frame[2] != frame.size() ||
        frame[2] + frame[3] != 256)
        return false;
    uint8_t x = 0;
    for (size_t i = 1; i < frame.size(); ++i) x ^= frame[i];
    return x == 0;
}

std::string text(const Bytes& frame, size_t first, size_t last)
{
    return std::string(frame.begin() + first, frame.begin() + last + 1);
}

Bytes blockData(uint8_t bank, uint16_t address, const Bytes& data)
{
    Bytes out{bank, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address & 0xFF)};
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// The first 32 bytes of an image as a firmware file lays them out at 0x4000.
Bytes imageHead(uint8_t variant, const std::string& software, const std::string& version, uint8_t code)
{
    Bytes head{variant};
    const std::string name = "SARNEL-FW";
    head.insert(head.end(), name.begin(), name.end());
    head.insert(head.end(), software.begin(), software.end());
    head.insert(head.end(), version.begin(), version.end());
    head.insert(head.end(), {code, 0x21, 0x07, 0x60, 0x00});
    head.resize(32, 0x00);
    return head;
}

// Sends the start request at 9600 and moves the test line to 38400 with the unit; returns its greeting.
Bytes enterBootLoader(EmulatorRig& rig)
{
    rig.line().send(hostFrame(rig.address(), 0x11, kStartKey));
    if (!waitFor([&] { return rig.unit().inBootLoader(); })) return {};
    rig.line().setSpeed(38400);
    return rig.line().readFrame();
}

uint8_t code(const Bytes& reply)
{
    return reply.size() > 4 ? reply[4] : 0;
}

TEST(BootLoader, StartRequestSwitchesToTheBootLoaderAt38400)
{
    EmulatorRig rig;
    // Without its key the request is not taken.
    rig.line().send(hostFrame(rig.address(), 0x11, {0x55, 0xA0, 0x55, 0x00}));
    EXPECT_EQ(code(rig.ask(0x06)), 0x06);
    EXPECT_FALSE(rig.unit().inBootLoader());

    const Bytes greeting = enterBootLoader(rig);
    EXPECT_TRUE(wellFormed(greeting));
    EXPECT_EQ(code(greeting), 0x11);
    EXPECT_EQ(greeting.size(), 6u);
    EXPECT_EQ(rig.unit().lastLineSpeed(), 9600) << "the request came at the application's speed";
    // The host's wake byte in front of its poll is no frame and does no harm.
    Bytes wakeAndPoll{0x37};
    const Bytes poll = hostFrame(rig.address(), 0x06);
    wakeAndPoll.insert(wakeAndPoll.end(), poll.begin(), poll.end());
    rig.line().send(wakeAndPoll);
    const Bytes reply = rig.line().readFrame();
    EXPECT_TRUE(wellFormed(reply));
    EXPECT_EQ(reply[6], 0x99);
    EXPECT_EQ(rig.unit().lastLineSpeed(), 38400);
}

TEST(BootLoader, FramesAt9600AreLineNoiseToIt)
{
    EmulatorRig rig;
    ASSERT_EQ(code(enterBootLoader(rig)), 0x11);
    const int pollsBefore = rig.unit().pollCount();
    rig.line().setSpeed(9600);
    rig.line().send(hostFrame(rig.address(), 0x06));
    ASSERT_TRUE(waitFor([&] { return rig.unit().wrongSpeedByteCount() == 6; }));
    EXPECT_TRUE(rig.line().readFrame(150ms).empty());
    EXPECT_EQ(rig.unit().pollCount(), pollsBefore);
    rig.line().setSpeed(38400);
    EXPECT_EQ(code(rig.ask(0x06)), 0x06);
}

struct IdentificationCase {
    int variant;
    size_t serialLength;
};

TEST(BootLoader, IdentifiesItselfInProgramModeWithTheUnitsSerial)
{
    const IdentificationCase cases[] = {{1, 10}, {5, 11}, {7, 11}, {9, 11}};
    for (const IdentificationCase& c : cases) {
        AcceptorOptions options = fastOptions(c.variant);
        options.startInBootLoader = true;
        EmulatorRig rig(options);
        rig.line().setSpeed(38400);
        const Bytes reply = rig.ask(0x06);
        ASSERT_TRUE(wellFormed(reply)) << "variant " << c.variant;
        EXPECT_EQ(reply.size(), 46u);
        EXPECT_EQ(reply[5], c.variant);
        EXPECT_EQ(reply[6], 0x99) << "program mode";
        EXPECT_EQ(text(reply, 7, 6 + c.serialLength), defaultSerial(c.variant));
        EXPECT_EQ(reply[18] << 8 | reply[19], 0) << "no memory reads in the boot loader";
        EXPECT_EQ(text(reply, 30, 39), kBootLoaderSoftwareText);
        EXPECT_EQ(text(reply, 40, 43), kBootLoaderVersionText);
    }
}

TEST(BootLoader, UpdateProgramsTheImageAndRebootsIntoItsIdentity)
{
    AcceptorOptions options = fastOptions(5);
    options.audit.stacked = 77;
    EmulatorRig rig(options);
    ASSERT_EQ(code(enterBootLoader(rig)), 0x11);

    EXPECT_EQ(code(rig.ask(0x14, kFlashKey)), 0x14);
    EXPECT_EQ(rig.unit().eraseCount(), 1);
    EXPECT_TRUE(rig.unit().flashMemory().empty());

    struct Block {
        uint8_t bank;
        uint16_t address;
        Bytes data;
    };
    Bytes page(128);
    std::iota(page.begin(), page.end(), uint8_t{0});
    const Bytes head = imageHead(5, "SARNEL NEW ", "0044", 0x00);
    const std::vector<Block> blocks = {
        {0, 0x4000, head},
        {0, 0x4030, Bytes(16, 0x11)},  // 16 bytes left erased before it
        {0, 0x4080, page},
        {1, 0x8000, Bytes(64, 0xA5)},  // another bank
    };
    std::map<FlashAddress, uint8_t> expected;
    for (const Block& b : blocks) {
        EXPECT_EQ(code(rig.ask(0x12, blockData(b.bank, b.address, b.data))), 0x12);
        for (size_t i = 0; i < b.data.size(); ++i) expected[uint32_t(b.bank) << 16 | (b.address + i)] = b.data[i];
    }
    EXPECT_EQ(rig.unit().flashMemory(), expected);

    // The programmed bytes of both banks; the erased gaps (0x4020.., 0x4040..) are no part of it.
    const uint32_t sum = std::accumulate(head.begin(), head.end(), 0u) + 16 * 0x11 + 127 * 128 / 2 + 64 * 0xA5;
    const Bytes checksum = rig.ask(0x13);
    ASSERT_TRUE(wellFormed(checksum));
    ASSERT_EQ(checksum.size(), 8u);
    EXPECT_EQ(checksum[4], 0x13);
    EXPECT_EQ(checksum[5] << 8 | checksum[6], sum % 65536) << "high byte first";

    EXPECT_EQ(code(rig.ask(0x15, kFlashKey)), 0x15);
    EXPECT_TRUE(rig.unit().inBootLoader());
    EXPECT_EQ(code(rig.ask(0x1F)), 0x1F);
    ASSERT_TRUE(waitFor([&] { return !rig.unit().inBootLoader() && !rig.unit().rebooting(); }));

    rig.line().setSpeed(9600);
    const Bytes identification = rig.ask(0x06);
    ASSERT_TRUE(wellFormed(identification));
    ASSERT_EQ(identification.size(), 47u);
    EXPECT_EQ(identification[5], 5);
    EXPECT_EQ(identification[6], 0x00) << "the image's code";
    EXPECT_EQ(text(identification, 7, 17), defaultSerial(5)) << "the serial number stays with the unit";
    EXPECT_EQ(text(identification, 30, 40), "SARNEL NEW ");
    EXPECT_EQ(text(identification, 42, 45), "0044");

    const Bytes audit = rig.ask(0x35);
    ASSERT_TRUE(wellFormed(audit));
    EXPECT_EQ(Bytes(audit.begin() + 5, audit.end() - 1), Bytes(20, 0)) << "the audit data were reset";

    const Bytes stamp{0x0F, 0x10, 0x00, 0x00, 0x00};
    EXPECT_EQ(code(rig.ask(0x34, stamp)), 0x34);
    const std::optional<DateStamp> recorded = rig.unit().lastDateStamp();
    ASSERT_TRUE(recorded);
    EXPECT_EQ(Bytes(recorded->begin(), recorded->end()), stamp);
}

TEST(BootLoader, TheNewImageMayBeForAnotherVariant)
{
    EmulatorRig rig(fastOptions(5));
    ASSERT_EQ(code(enterBootLoader(rig)), 0x11);
    ASSERT_EQ(code(rig.ask(0x14, kFlashKey)), 0x14);
    ASSERT_EQ(code(rig.ask(0x12, blockData(0, 0x4000, imageHead(7, "TEKRA APP 2", "0019", 0x03)))), 0x12);
    ASSERT_EQ(code(rig.ask(0x15, kFlashKey)), 0x15);
    ASSERT_EQ(code(rig.ask(0x1F)), 0x1F);
    ASSERT_TRUE(waitFor([&] { return !rig.unit().inBootLoader() && !rig.unit().rebooting(); }));
    rig.line().setSpeed(9600);
    const Bytes identification = rig.ask(0x06);
    ASSERT_TRUE(wellFormed(identification));
    EXPECT_EQ(identification[5], 7);
    EXPECT_EQ(identification[6], 0x03) << "restricted to the image's code";
    EXPECT_EQ(text(identification, 30, 40), "TEKRA APP 2");
    EXPECT_EQ(text(identification, 42, 45), "0019");
}

TEST(BootLoader, RefusedCommandsAreNotAcknowledged)
{
    EmulatorRig rig;
    ASSERT_EQ(code(enterBootLoader(rig)), 0x11);
    const std::vector<std::pair<uint8_t, Bytes>> refused = {
        {0x14, {0x55, 0x00}},                               // erase without its key
        {0x15, {}},                                         // boot strap without its key
        {0x12, blockData(0, 0x3FF0, Bytes(16, 1))},         // below the image
        {0x12, blockData(0, 0xF600, Bytes(16, 1))},         // the boot loader itself
        {0x12, blockData(0, 0x4078, Bytes(16, 1))},         // across a page end
        {0x12, {0x00, 0x40}},                               // too short
        {0x34, {1, 2, 3, 4, 5}},                            // the application's date stamp
    };
    for (const auto& [command, data] : refused) {
        rig.line().send(hostFrame(rig.address(), command, data));
        EXPECT_TRUE(rig.line().readFrame(150ms).empty()) << "command " << int(command);
    }
    EXPECT_EQ(rig.unit().eraseCount(), 0);
    EXPECT_TRUE(rig.unit().flashMemory().empty());
    EXPECT_FALSE(rig.unit().lastDateStamp());
    EXPECT_EQ(code(rig.ask(0x06)), 0x06) << "and it still answers";
}

TEST(BootLoader, AuditResetWithoutACompleteImageStaysInTheBootLoader)
{
    EmulatorRig rig;
    ASSERT_EQ(code(enterBootLoader(rig)), 0x11);
    ASSERT_EQ(code(rig.ask(0x14, kFlashKey)), 0x14);
    ASSERT_EQ(code(rig.ask(0x12, blockData(0, 0x4000, imageHead(5, "SARNEL NEW ", "0044", 0)))), 0x12);
    // No boot-strap update: the boot strap does not lead to the new image yet.
    EXPECT_EQ(code(rig.ask(0x1F)), 0x1F);
    EXPECT_TRUE(rig.unit().inBootLoader());
    EXPECT_EQ(rig.ask(0x06)[6], 0x99);
}

struct FaultCase {
    const char* name;
    FaultKind kind;
    Bytes (*expected)(const Bytes& good);  // what the host receives instead of the good reply
};

Bytes withCheckByte(Bytes frame)
{
    frame.pop_back();
    uint8_t x = 0;
    for (size_t i = 1; i < frame.size(); ++i) x ^= frame[i];
    frame.push_back(x);
    return frame;
}

const FaultCase kFaultCases[] = {
    {"NoReply", FaultKind::NoReply, [](const Bytes&) { return Bytes{}; }},
    {"WrongReplyCode", FaultKind::WrongReplyCode,
     [](const Bytes& good) {
         Bytes b = good;
         b[4] = 0x7E;
         return withCheckByte(b);
     }},
    {"BadCheckByte", FaultKind::BadCheckByte,
     [](const Bytes& good) {
         Bytes b = good;
         b.back() = static_cast<uint8_t>(~b.back());
         return b;
     }},
    {"MissingHeader", FaultKind::MissingHeader, [](const Bytes& good) { return Bytes(good.begin() + 2, good.end()); }},
    {"WrongChecksum", FaultKind::WrongChecksum,
     [](const Bytes& good) {
         Bytes b = good;
         const int sum = (b[5] << 8 | b[6]) + 1;
         b[5] = static_cast<uint8_t>(sum >> 8 & 0xFF);
         b[6] = static_cast<uint8_t>(sum & 0xFF);
         return withCheckByte(b);
     }},
};

class BootLoaderFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(BootLoaderFaults, SpoilsTheChecksumReplyKTimesThenAnswers)
{
    const FaultCase& c = GetParam();
    EmulatorRig rig;
    ASSERT_EQ(code(enterBootLoader(rig)), 0x11);
    ASSERT_EQ(code(rig.ask(0x14, kFlashKey)), 0x14);
    ASSERT_EQ(code(rig.ask(0x12, blockData(0, 0x4000, Bytes(16, 0x9C)))), 0x12);
    const Bytes good = rig.ask(0x13);
    ASSERT_TRUE(wellFormed(good));
    ASSERT_EQ(good[5] << 8 | good[6], 16 * 0x9C);

    Fault fault;
    fault.kind = c.kind;
    fault.times = 2;
    rig.unit().failNextReplies(0x13, fault);
    const Bytes spoilt = c.expected(good);
    for (int i = 0; i < 2; ++i) {
        rig.line().send(hostFrame(rig.address(), 0x13));
        // The spoilt reply however late it comes, then nothing after it.
        Bytes reply = rig.line().read(spoilt.size());
        const Bytes more = rig.line().drain(spoilt.empty() ? 150ms : 50ms);
        reply.insert(reply.end(), more.begin(), more.end());
        EXPECT_EQ(reply, spoilt) << "reply " << i;
    }
    EXPECT_EQ(rig.ask(0x13), good);
    EXPECT_EQ(rig.unit().commandCount(0x13), 4);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, BootLoaderFaults, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(BootLoader, AFaultCanStartAtALaterBlockAndTheUnitStillActs)
{
    EmulatorRig rig;
    ASSERT_EQ(code(enterBootLoader(rig)), 0x11);
    ASSERT_EQ(code(rig.ask(0x14, kFlashKey)), 0x14);
    Fault fault;
    fault.kind = FaultKind::NoReply;
    fault.skip = 2;
    fault.times = 3;
    rig.unit().failNextReplies(0x12, fault);
    const bool answered[] = {true, true, false, false, false, true};
    for (int i = 0; i < 6; ++i) {
        rig.line().send(hostFrame(rig.address(), 0x12, blockData(0, static_cast<uint16_t>(0x4000 + 16 * i), Bytes(16, 1))));
        const Bytes reply = rig.line().readFrame(answered[i] ? 5000ms : 150ms);
        EXPECT_EQ(!reply.empty(), answered[i]) << "block " << i;
    }
    EXPECT_EQ(rig.unit().flashMemory().size(), 96u) << "a lost reply does not undo the block";
}

struct PowerCycleCase {
    const char* what;
    bool startInBootLoader;
    bool erase;
    bool program;
    bool bootStrap;
    bool bootLoaderAfter;
    const char* softwareAfter;  // the application's software text when it starts
};

const PowerCycleCase kPowerCycleCases[] = {
    {"never erased", false, false, false, false, false, "SARNEL APP "},
    {"started without application", true, false, false, false, true, nullptr},
    {"erased only", false, true, false, false, true, nullptr},
    {"programmed, boot strap not updated", false, true, true, false, true, nullptr},
    {"boot strap updated, update not finished", false, true, true, true, false, "SARNEL NEW "},
};

TEST(BootLoader, PowerCycleStartsWhatTheUnitHolds)
{
    for (const PowerCycleCase& c : kPowerCycleCases) {
        SCOPED_TRACE(c.what);
        AcceptorOptions options = fastOptions(5);
        options.startInBootLoader = c.startInBootLoader;
        EmulatorRig rig(options);
        if (c.startInBootLoader) {
            rig.line().setSpeed(38400);
        } else {
            ASSERT_EQ(code(enterBootLoader(rig)), 0x11);
        }
        if (c.erase) {
            ASSERT_EQ(code(rig.ask(0x14, kFlashKey)), 0x14);
        }
        if (c.program) {
            ASSERT_EQ(code(rig.ask(0x12, blockData(0, 0x4000, imageHead(5, "SARNEL NEW ", "0044", 0)))), 0x12);
        }
        if (c.bootStrap) {
            ASSERT_EQ(code(rig.ask(0x15, kFlashKey)), 0x15);
        }

        rig.unit().powerCycle();
        ASSERT_TRUE(waitFor([&] { return !rig.unit().rebooting(); }));
        EXPECT_EQ(rig.unit().inBootLoader(), c.bootLoaderAfter);
        rig.line().setSpeed(c.bootLoaderAfter ? 38400 : 9600);
        const Bytes identification = rig.ask(0x06);
        ASSERT_TRUE(wellFormed(identification));
        if (c.bootLoaderAfter) {
            EXPECT_EQ(identification[6], 0x99);
        } else {
            EXPECT_EQ(identification[6], 0x00);
            EXPECT_EQ(text(identification, 30, 40), c.softwareAfter);
        }
    }
}

TEST(BootLoader, PacesItsRepliesAt38400)
{
    AcceptorOptions options = fastOptions(5);
    options.pacing = true;
    options.startInBootLoader = true;
    EmulatorRig rig(options);
    rig.line().setSpeed(38400);
    constexpr int kPolls = 20;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kPolls; ++i) ASSERT_EQ(rig.ask(0x06).size(), 46u);
    const auto took = std::chrono::steady_clock::now() - start;
    // Ten bits a byte, the poll heard and the reply sent: no sooner than at 38400 baud. No upper bound: a
    // loaded machine may take any time longer.
    const auto wire38400 = std::chrono::microseconds(kPolls * (6 + 46) * 10 * 1000000LL / 38400);
    EXPECT_GE(took, wire38400);
}

}  // namespace
}  // namespace kovrin::emulator::test
