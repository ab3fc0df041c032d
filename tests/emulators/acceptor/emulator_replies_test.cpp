// The emulated unit's answers to each command of the application, over a real pseudo-terminal.

#include <gtest/gtest.h>

#include <string>

#include "emulators/acceptor/eeprom_defaults.h"
#include "emulators/acceptor/identity.h"
#include "tests/emulators/acceptor/test_line.h"

namespace kovrin::emulator::test {
namespace {

std::string text(const Bytes& frame, size_t first, size_t last)
{
    return std::string(frame.begin() + first, frame.begin() + last + 1);
}

void expectGoodReply(const Bytes& frame, uint8_t code)
{
    ASSERT_GE(frame.size(), 6u);
    EXPECT_EQ(frame[0], 0x27);
    EXPECT_EQ(frame[1], 0x08);
    EXPECT_EQ(frame[2], frame.size());
    EXPECT_EQ(frame[2] + frame[3], 256);
    EXPECT_EQ(frame[4], code);
    uint8_t x = 0;
    for (size_t i = 1; i < frame.size(); ++i) x ^= frame[i];
    EXPECT_EQ(x, 0) << "check byte";
}

struct IdentificationCase {
    int variant;
    bool longFrame;
    size_t length;
    size_t serialLast;
    size_t softwareLast;
    size_t versionFirst;
};

// Byte positions as a host reads them for each variant; the older 46-byte frame of 5 and 7 shares byte 40.
const IdentificationCase kIdentificationCases[] = {
    {1, true, 46, 16, 39, 40}, {2, true, 46, 16, 39, 40}, {3, true, 46, 16, 39, 40},
    {4, true, 46, 16, 39, 40}, {5, true, 47, 17, 40, 42}, {5, false, 46, 17, 40, 40},
    {6, true, 46, 16, 39, 40}, {7, true, 47, 17, 40, 42}, {7, false, 46, 17, 40, 40},
    {8, true, 46, 16, 39, 40}, {9, true, 46, 17, 39, 40},
};

class Identification : public ::testing::TestWithParam<IdentificationCase> {};

TEST_P(Identification, CarriesTheFieldsWhereTheVariantPutsThem)
{
    const IdentificationCase& c = GetParam();
    AcceptorOptions options = fastOptions(c.variant);
    const std::string serial = c.serialLast == 17 ? "98765432101" : "9876543210";
    options.serial = serial;
    options.softwareText = c.serialLast == 17 && c.variant != 9 ? "APPLICATION" : "APPLICATIO";
    options.versionText = "0042";
    options.infoText = "INFO-TEXT!";
    options.longIdentification = c.longFrame;
    options.unitState = 0x03;
    EmulatorRig rig(options);

    // The host speaks to address 0 until it knows the variant.
    rig.line().send(hostFrame(0, 0x06));
    const Bytes reply = rig.line().readFrame();
    expectGoodReply(reply, 0x06);
    ASSERT_EQ(reply.size(), c.length);
    EXPECT_EQ(reply[5], c.variant);
    EXPECT_EQ(reply[6], 0x03);
    EXPECT_EQ(text(reply, 7, c.serialLast), serial);
    EXPECT_EQ(reply[18] << 8 | reply[19], kFactoryCopyAddress);
    EXPECT_EQ(text(reply, 20, 29), "INFO-TEXT!");
    EXPECT_EQ(text(reply, c.versionFirst, c.versionFirst + 3), "0042");
    const std::string software = text(reply, 30, c.softwareLast);
    if (c.versionFirst > c.softwareLast)
        EXPECT_EQ(software, options.softwareText);
    else
        EXPECT_EQ(software, options.softwareText.substr(0, 10) + "0") << "byte 40 is shared with the version";
}

void PrintTo(const IdentificationCase& c, std::ostream* os)
{
    *os << "variant " << c.variant << (c.longFrame ? "" : " short");
}

INSTANTIATE_TEST_SUITE_P(EveryVariant, Identification, ::testing::ValuesIn(kIdentificationCases),
                         [](const auto& info) {
                             return "variant" + std::to_string(info.param.variant) +
                                    (info.param.longFrame ? "" : "_short");
                         });

TEST(Identification, ShowsProgramModeAndNoFactoryCopy)
{
    AcceptorOptions options = fastOptions(7);
    options.unitState = 0x99;
    options.factoryCopy = false;
    EmulatorRig rig(options);
    const Bytes reply = rig.ask(0x06);
    expectGoodReply(reply, 0x06);
    EXPECT_EQ(reply[6], 0x99);
    EXPECT_EQ(reply[18], 0);
    EXPECT_EQ(reply[19], 0);

    rig.unit().setUnitState(0);
    EXPECT_EQ(rig.ask(0x06)[6], 0);
}

TEST(Identification, DefaultsFitTheVariant)
{
    for (int variant = 1; variant <= 9; ++variant) {
        EmulatorRig rig(fastOptions(variant));
        const Bytes reply = rig.ask(0x06);
        expectGoodReply(reply, 0x06);
        const size_t serialLength = (variant == 5 || variant == 7 || variant == 9) ? 11 : 10;
        const std::string serial = text(reply, 7, 6 + serialLength);
        EXPECT_EQ(serial.find_first_not_of("0123456789"), std::string::npos) << "variant " << variant << ": " << serial;
    }
}

TEST(Addressing, AUnitAnswersItsOwnAddressAndAddressZeroOnly)
{
    struct Case {
        int variant;
        uint8_t address;
        bool answered;
    };
    const Case cases[] = {{5, 0, true}, {5, 4, true}, {5, 1, false}, {5, 8, false},
                          {8, 0, true}, {8, 4, false}, {3, 4, true}, {1, 4, false}};
    for (const Case& c : cases) {
        EmulatorRig rig(fastOptions(c.variant));
        // A poll to address 0 afterwards proves whether the first one was answered.
        rig.line().send(hostFrame(c.address, 0x06));
        rig.line().send(hostFrame(0, 0x06));
        ASSERT_TRUE(waitFor([&] { return rig.unit().pollCount() == (c.answered ? 2 : 1); }));
        ASSERT_FALSE(rig.line().readFrame().empty());
        const Bytes second = rig.line().readFrame(c.answered ? 5000ms : 200ms);
        EXPECT_EQ(!second.empty(), c.answered) << "variant " << c.variant << " address " << int(c.address);
    }
}

TEST(MemoryRead, ReadsTheFactoryCopyInTwoPages)
{
    EmulatorRig rig;
    const Eeprom factory = rig.unit().eeprom();
    Bytes both;
    for (uint16_t address : {kFactoryCopyAddress, uint16_t(kFactoryCopyAddress + 128)}) {
        const Bytes reply = rig.ask(0x24, {0x00, uint8_t(address >> 8), uint8_t(address & 0xFF), 0x80});
        expectGoodReply(reply, 0x24);
        ASSERT_EQ(reply.size(), 134u);
        both.insert(both.end(), reply.begin() + 5, reply.end() - 1);
    }
    EXPECT_EQ(both, Bytes(factory.begin(), factory.end()));
    EXPECT_EQ(both[252], 5) << "variant byte of the factory image";
}

TEST(MemoryRead, FactoryCopyStaysAsItWasAfterAConfigurationWrite)
{
    EmulatorRig rig;
    const Eeprom before = rig.unit().eeprom();
    Bytes write{0x62};
    for (size_t i = 1; i < 176; ++i) write.push_back(uint8_t(i));
    expectGoodReply(rig.ask(0x21, write), 0x21);
    ASSERT_TRUE(waitFor([&] { return !rig.unit().rebooting(); }));
    const Bytes reply = rig.ask(0x24, {0x00, 0x01, 0x00, 0x80});
    EXPECT_EQ(Bytes(reply.begin() + 5, reply.end() - 1), Bytes(before.begin(), before.begin() + 128));
}

TEST(MemoryRead, CalibrationStatusFollowsCalibration)
{
    AcceptorOptions options = fastOptions();
    options.calibrated = false;
    EmulatorRig rig(options);
    const Bytes status = {0x00, 0x02, 0xFA, 0x06};
    Bytes reply = rig.ask(0x24, status);
    expectGoodReply(reply, 0x24);
    ASSERT_EQ(reply.size(), 12u);
    EXPECT_EQ(reply[5], 0);

    expectGoodReply(rig.ask(0x02), 0x02);
    EXPECT_TRUE(rig.unit().calibrated());
    reply = rig.ask(0x24, status);
    EXPECT_NE(reply[5], 0);
}

TEST(MemoryRead, ARequestThatDoesNotFitAFrameIsNotAnswered)
{
    EmulatorRig rig;
    rig.line().send(hostFrame(rig.address(), 0x24, {0x00, 0x00, 0x00, 250}));
    rig.line().send(hostFrame(rig.address(), 0x24, {0x00, 0x00, 0x00}));
    const Bytes reply = rig.ask(0x24, {0x00, 0x00, 0x00, 249});
    expectGoodReply(reply, 0x24);
    EXPECT_EQ(reply.size(), 255u) << "only the last request is answered";
}

TEST(Configuration, ReadDeliversTheLayoutsLength)
{
    struct Case {
        int variant;
        size_t length;
        size_t serialAt;
    };
    for (const Case c : {Case{5, 176, 132}, Case{9, 176, 132}, Case{6, 143, 92}, Case{7, 143, 92}}) {
        AcceptorOptions options = fastOptions(c.variant);
        EmulatorRig rig(options);
        const Bytes reply = rig.ask(0x20);
        expectGoodReply(reply, 0x20);
        ASSERT_EQ(reply.size(), c.length + 6) << "variant " << c.variant;
        const Eeprom image = rig.unit().eeprom();
        EXPECT_EQ(Bytes(reply.begin() + 5, reply.end() - 1), Bytes(image.begin(), image.begin() + c.length));
        EXPECT_EQ(reply[5], 0x55);
        EXPECT_EQ(text(reply, 5 + c.serialAt, 5 + c.serialAt + serialLength(c.variant) - 1), defaultSerial(c.variant));
    }
}

TEST(Configuration, AnImageFromTheOptionsIsTheOneHeld)
{
    AcceptorOptions options = fastOptions();
    Eeprom image{};
    for (size_t i = 0; i < image.size(); ++i) image[i] = uint8_t(255 - i);
    options.eeprom = image;
    EmulatorRig rig(options);
    const Bytes reply = rig.ask(0x20);
    EXPECT_EQ(Bytes(reply.begin() + 5, reply.end() - 1), Bytes(image.begin(), image.begin() + 176));
}

TEST(Configuration, WriteRebootsThenTheNewImageReadsBack)
{
    EmulatorRig rig;
    const Eeprom before = rig.unit().eeprom();
    Bytes write{0x62};
    for (size_t i = 1; i < 176; ++i) write.push_back(uint8_t(i * 7));
    expectGoodReply(rig.ask(0x21, write), 0x21);
    EXPECT_TRUE(rig.unit().rebooting());

    // Deaf while it reboots: this poll is lost, the one after the reboot is answered.
    rig.line().send(hostFrame(rig.address(), 0x06));
    ASSERT_TRUE(waitFor([&] { return !rig.unit().rebooting(); }));
    EXPECT_EQ(rig.unit().pollCount(), 0);
    expectGoodReply(rig.ask(0x06), 0x06);
    EXPECT_EQ(rig.unit().pollCount(), 1);

    const Bytes reply = rig.ask(0x20);
    ASSERT_EQ(reply.size(), 182u);
    EXPECT_EQ(reply[5], before[0]) << "byte 0 is not written";
    for (size_t i = 1; i < 176; ++i) ASSERT_EQ(reply[5 + i], uint8_t(i * 7)) << "byte " << i;
    const Eeprom after = rig.unit().eeprom();
    EXPECT_TRUE(std::equal(after.begin() + 176, after.end(), before.begin() + 176)) << "beyond the write";
}

TEST(Configuration, WriteWithoutItsMarkerIsIgnored)
{
    EmulatorRig rig;
    const Eeprom before = rig.unit().eeprom();
    rig.line().send(hostFrame(rig.address(), 0x21, Bytes(176, 0x11)));
    expectGoodReply(rig.ask(0x06), 0x06);
    EXPECT_FALSE(rig.unit().rebooting());
    EXPECT_EQ(rig.unit().eeprom(), before);
}

TEST(Audit, RepliesWithThePackedCounters)
{
    for (int variant : {5, 7}) {
        AcceptorOptions options = fastOptions(variant);
        options.audit = {1048575, 2, 3, 4, 5, 6, 7, 8, 9};
        EmulatorRig rig(options);
        const Bytes reply = rig.ask(0x35);
        expectGoodReply(reply, 0x35);
        ASSERT_EQ(reply.size(), 26u);
        EXPECT_EQ(Bytes(reply.begin() + 5, reply.end() - 1), packAuditCounters(options.audit));
    }
}

TEST(Audit, LayoutFiveCountersLiveInTheConfiguration)
{
    EmulatorRig rig;
    AuditCounters counters{};
    counters.stacked = 4321;
    rig.unit().setAuditCounters(counters);
    const Bytes config = rig.ask(0x20);
    const Bytes audit = rig.ask(0x35);
    EXPECT_EQ(Bytes(config.begin() + 5 + 143, config.begin() + 5 + 163), Bytes(audit.begin() + 5, audit.end() - 1));
    EXPECT_EQ(unpackAuditCounters(Bytes(audit.begin() + 5, audit.end() - 1)).stacked, 4321u);
}

TEST(Audit, OlderFirmwareRepliesInItsOwnLayout)
{
    AcceptorOptions options = fastOptions(7);
    options.versionText = "0016";
    options.audit.motorStarts = 0x01020304;
    options.audit.powerUps = 77;
    options.audit.daysSince2010 = 31 + 1;  // 2 February 2010
    EmulatorRig rig(options);
    const Bytes reply = rig.ask(0x35);
    expectGoodReply(reply, 0x35);
    ASSERT_EQ(reply.size(), 38u);
    EXPECT_EQ((Bytes{reply[12], reply[13], reply[14]}), (Bytes{10, 2, 2}));
    EXPECT_EQ((Bytes(reply.begin() + 17, reply.begin() + 21)), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(reply[36], 77);
}

TEST(DateStamp, RecordsTheFiveBytes)
{
    EmulatorRig rig;
    EXPECT_FALSE(rig.unit().lastDateStamp());
    expectGoodReply(rig.ask(0x34, {25, 6, 30, 14, 59}), 0x34);
    ASSERT_TRUE(rig.unit().lastDateStamp());
    EXPECT_EQ(*rig.unit().lastDateStamp(), (DateStamp{25, 6, 30, 14, 59}));
}

TEST(Commands, UnknownCommandsAndBadCheckBytesGoUnanswered)
{
    EmulatorRig rig;
    Bytes spoilt = hostFrame(rig.address(), 0x06);
    spoilt.back() ^= 0x01;
    rig.line().send(spoilt);
    rig.line().send(hostFrame(rig.address(), 0x77));
    expectGoodReply(rig.ask(0x06), 0x06);
    EXPECT_EQ(rig.unit().pollCount(), 1);
    EXPECT_EQ(rig.unit().commandCount(0x77), 1);
    EXPECT_TRUE(rig.line().drain(50ms).empty());
}

TEST(Audit, StackedNotesAreCountedWhereTheConfigurationReadSeesThem)
{
    for (int variant : {5, 7}) {
        AcceptorOptions options = fastOptions(variant);
        options.audit.stacked = 10;
        options.audit.motorStarts = 20;
        EmulatorRig rig(options);
        rig.unit().stackNotes(3);
        const AuditCounters after = rig.unit().auditCounters();
        EXPECT_EQ(after.stacked, 13u);
        EXPECT_EQ(after.motorStarts, 23u);
        EXPECT_EQ(after.preEscrows, 3u);
        const Bytes audit = rig.ask(0x35);
        EXPECT_EQ(unpackAuditCounters(Bytes(audit.begin() + 5, audit.end() - 1)).stacked, 13u) << variant;
        if (variant == 5) {
            const Bytes config = rig.ask(0x20);
            EXPECT_EQ(Bytes(config.begin() + 5 + 143, config.begin() + 5 + 163), packAuditCounters(after));
        }
    }
}

}  // namespace
}  // namespace kovrin::emulator::test
