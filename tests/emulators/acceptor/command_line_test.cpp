#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

#include "emulators/acceptor/command_line.h"

namespace kovrin::emulator {
namespace {

TEST(CommandLine, OptionsSetTheUnit)
{
    const CommandLine line = parseCommandLine({"bin/COM1", "--variant", "7", "--serial", "12345678901",
                                               "--uncalibrated", "--no-factory", "--no-pacing", "--program-mode",
                                               "--reboot-ms", "250", "--short-identification", "--version", "0018",
                                               "--boot-loader"});
    EXPECT_EQ(line.linkPath, "bin/COM1");
    EXPECT_EQ(line.options.variant, 7);
    EXPECT_EQ(line.options.serial, "12345678901");
    EXPECT_FALSE(line.options.calibrated);
    EXPECT_FALSE(line.options.factoryCopy);
    EXPECT_FALSE(line.options.pacing);
    EXPECT_EQ(line.options.unitState, 0x99);
    EXPECT_EQ(line.options.rebootTime, std::chrono::milliseconds(250));
    EXPECT_FALSE(line.options.longIdentification);
    EXPECT_EQ(line.options.versionText, "0018");
    EXPECT_TRUE(line.options.startInBootLoader);
}

TEST(CommandLine, DefaultsAreACalibratedVariantFiveWithAFactoryCopy)
{
    const CommandLine line = parseCommandLine({"COM1"});
    EXPECT_EQ(line.options.variant, 5);
    EXPECT_TRUE(line.options.calibrated);
    EXPECT_TRUE(line.options.factoryCopy);
    EXPECT_TRUE(line.options.pacing);
    EXPECT_EQ(line.options.unitState, 0);
    EXPECT_FALSE(line.options.startInBootLoader);
}

TEST(CommandLine, EepromFileMustHold256Bytes)
{
    const std::string stem = ::testing::TempDir() + "/emu-" + std::to_string(::getpid());
    const std::string good = stem + "-good.bin";
    const std::string bad = stem + "-bad.bin";
    std::ofstream(good, std::ios::binary) << std::string(256, '\x5A');
    std::ofstream(bad, std::ios::binary) << std::string(255, '\x5A');
    const CommandLine line = parseCommandLine({"COM1", "--eeprom", good});
    ASSERT_TRUE(line.options.eeprom);
    EXPECT_EQ((*line.options.eeprom)[255], 0x5A);
    EXPECT_THROW(parseCommandLine({"COM1", "--eeprom", bad}), std::invalid_argument);
    std::remove(good.c_str());
    std::remove(bad.c_str());
}

TEST(CommandLine, BadArgumentsAreRefused)
{
    const std::vector<std::vector<std::string>> cases = {
        {},                               // no link path
        {"COM1", "--variant"},            // value missing
        {"COM1", "--variant", "x"},       // not a number
        {"COM1", "--variant", "256"},     // not a byte
        {"COM1", "--restricted", "0"},    // 0 means unrestricted
        {"COM1", "--frobnicate"},         // unknown
        {"COM1", "COM2"},                 // two links
    };
    for (const auto& arguments : cases) EXPECT_THROW(parseCommandLine(arguments), std::invalid_argument);
}

}  // namespace
}  // namespace kovrin::emulator
