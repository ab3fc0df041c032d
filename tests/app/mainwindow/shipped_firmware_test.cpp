// Every firmware file the project ships flashes into the emulated acceptor of its variant and
// verifies: the serial demonstration's update ends in success, not in a checksum error.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "tests/app/mainwindow/form_main_fixture.h"

namespace kovrin {
namespace {

std::vector<std::string> ShippedFirmwareFiles()
{
    std::vector<std::string> files;
    for (const QString& name : QDir(SHIPPED_FIRMWARE_DIR).entryList({"*.hex"}, QDir::Files, QDir::Name))
        files.push_back(name.toStdString());
    return files;
}

TEST(ShippedFirmware, TheProjectShipsFirmwareFiles)
{
    EXPECT_FALSE(ShippedFirmwareFiles().empty()) << "nothing in " SHIPPED_FIRMWARE_DIR;
}

class ShippedFirmwareTest : public FormMainTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(ShippedFirmwareTest, UpdatesTheEmulatedAcceptorToItsVerifiedEnd)
{
    const QString path = QString(SHIPPED_FIRMWARE_DIR) + "/" + QString::fromStdString(GetParam());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    const HexParseResult parsed = ParseHexText(std::string_view(text.constData(), size_t(text.size())));
    ASSERT_TRUE(parsed.error.empty()) << parsed.error;
    const FirmwareImage image = AnalyzeHexRecords(parsed.records);
    ASSERT_TRUE(image.analysed);

    AcceptorOptions o;
    o.variant = image.ImageVariant;  // the unit the file is for
    Attach(o);
    emu->setPacing(false);
    Launch();
    ASSERT_TRUE(Identified());
    form->State.Settings.FirmwareFilePath = path.toStdString();
    form->LoadHexFile();
    ASSERT_EQ(form->Label7[1]->text(), "SOFTWARE LOADED");
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->cmdFlashRqt->isEnabled(); }, 5000));
    ASSERT_TRUE(WaitUntilIdle());
    messages.clear();
    form->cmdFlashRqt_Click();
    // The display's last word is a result; a failed update would end on its own.
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->lblDisplay->text() == "Device Programmed Successfully"; }, 60000))
        << form->lblDisplay->text().toStdString();
    EXPECT_TRUE(messages.empty()) << messages[0].text.toStdString();

    // The unit holds what the file says and nothing else.
    const auto flashed = emu->flashMemory();
    size_t sent = 0;
    for (const auto& [at, value] : image.memory) {
        const uint16_t address = uint16_t(at & 0xFFFF);
        if (address < ImageStart || ((at >> 16) == 0 && address >= BankZeroImageEnd))
            continue;  // no block carries these
        ++sent;
        const auto it = flashed.find(at);
        ASSERT_NE(it, flashed.end()) << std::hex << "address " << at;
        EXPECT_EQ(it->second, value) << std::hex << "address " << at;
    }
    EXPECT_EQ(flashed.size(), sent);
}

INSTANTIATE_TEST_SUITE_P(EveryFile, ShippedFirmwareTest, ::testing::ValuesIn(ShippedFirmwareFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name;
                             for (const char c : info.param)
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

}  // namespace
}  // namespace kovrin
