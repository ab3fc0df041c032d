// Times a whole firmware update of the emulated acceptor, replies paced at
// the wire speed, against the least time the update's own waits and the
// wire allow for the same image.

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTimer>
#include <functional>
#include <cstdio>

#include "app/settings/program_folder.h"
#include "app/settings/program_settings.h"
#include "app/main/start_up.h"
#include "app/mainwindow/form_main.h"
#include "app/widgets/message_seam.h"
#include "emulators/acceptor/acceptor_emulator.h"
#include "tests/support/hex_writer.h"

namespace {

using namespace kovrin;

constexpr uint16_t First = 0x4000;
constexpr uint16_t End = 0xF600;  // 46,592 bytes, 364 pages
constexpr int PagesPerImage = (End - First) / 128;

QByteArray HexLine(uint16_t address, uint8_t type, const std::vector<uint8_t>& data)
{
    return QByteArray::fromStdString(test::HexText({{address, type, data}}));
}

// A variant 5 image filling every page, described at 0x4000 like a real one.
QByteArray Image()
{
    std::vector<uint8_t> memory(End - First);
    for (size_t i = 0; i < memory.size(); ++i)
        memory[i] = uint8_t((i * 7 + 3) & 0x7F);
    const std::string head = std::string("\x05") + "SARNELAPP" + "TYX SARNEL " + "0043";
    std::copy(head.begin(), head.end(), memory.begin());
    memory[0x19] = 0x21;  // image code
    QByteArray text;
    for (size_t i = 0; i < memory.size(); i += 32)
        text += HexLine(uint16_t(First + i), 0, std::vector<uint8_t>(memory.begin() + i, memory.begin() + i + 32));
    return text + HexLine(0, 1, {});
}

// Runs the event loop until `done` holds: unlike a test's wait, the loop
// sleeps in the system's poll, so the serial port's events come at once.
bool RunUntil(const std::function<bool()>& done, int timeoutMs)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(50);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

double WireSeconds(int bytes, int baud)
{
    return bytes * 10.0 / baud;  // start bit, eight data bits, stop bit
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SetProgramFolderForTesting(dir.path());
    SetMessageHandler([](const MessageRequest& m) {
        std::printf("message: %s\n", qPrintable(m.text));
        return MsgResult::Ok;
    });

    QFile hex(dir.path() + "/bench.hex");
    hex.open(QIODevice::WriteOnly);
    hex.write(Image());
    hex.close();

    emulator::AcceptorOptions options;
    options.variant = 5;
    options.versionText = "0043";
    options.pacing = true;
    emulator::AcceptorEmulator unit(options);
    unit.start((dir.path() + "/COM1").toStdString());

    const std::unique_ptr<FormMain> started = Main();
    FormMain& form = *started;
    if (!RunUntil([&] { return form.Label7[0]->text() == "HARDWARE FOUND"; }, 10000)) {
        std::printf("the emulated acceptor was not found\n");
        return 1;
    }
    form.State.Settings.FirmwareFilePath = hex.fileName().toStdString();
    form.LoadHexFile();
    if (!form.Firmware.analysed || int(form.Firmware.BlockTable.size()) != PagesPerImage + 1) {
        std::printf("the image did not load as %d pages\n", PagesPerImage);
        return 1;
    }
    // Wait for a quiet moment in the poll cycle, as a technician's click would find.
    RunUntil([] { return false; }, 600);

    QElapsedTimer clock;
    clock.start();
    form.cmdFlashRqt_Click();
    const bool done = RunUntil([&] { return form.lblDisplay->text() == "Device Programmed Successfully"; }, 120000);
    const double measured = clock.elapsed() / 1000.0;
    if (!done) {
        std::printf("the update did not finish: \"%s\"\n", qPrintable(form.lblDisplay->text()));
        return 1;
    }

    // The least time: the fixed waits, the guard that starts the erase, the
    // receive wait of every reply, and every frame on the wire both ways.
    const int blocks = PagesPerImage;
    const double fixed = 0.5      // the update button waits before it starts
                         + 1.5    // the start command's guard: the boot loader answers nothing
                         + 0.5    // the port stays open 0.5 s before it returns to 9600
                         + 1.0;   // the pause before the date stamp
    const int replies = 1 + blocks + 1 + 1 + 1;  // erase, blocks, boot strap, checksum, stamp
    const double receiveWaits = replies * 0.020;
    const double wire38400 = WireSeconds(8 + 6, 38400)                 // erase
                             + blocks * WireSeconds(137 + 6, 38400)    // blocks and their replies
                             + WireSeconds(8 + 6, 38400)               // boot strap
                             + WireSeconds(6 + 8, 38400)               // checksum
                             + WireSeconds(6, 38400);                  // reset audit data
    const double wire9600 = WireSeconds(10, 9600)                       // start command
                            + WireSeconds(11 + 6, 9600);                // date stamp and its reply
    const double minimum = fixed + receiveWaits + wire38400 + wire9600;

    std::printf("firmware update of the emulated acceptor, %d blocks of 128 bytes (0x4000 to 0xF5FF)\n", blocks);
    std::printf("least time = fixed waits %.3f s + %d replies x 20 ms %.3f s + wire at 38400 %.3f s"
                " + wire at 9600 %.3f s = %.3f s\n",
                fixed, replies, receiveWaits, wire38400, wire9600, minimum);
    std::printf("  (a frame of n bytes takes n x 10 bits / baud; block frames are 137 bytes, replies 6)\n");
    std::printf("measured   = %.3f s\n", measured);
    std::printf("ratio      = %.3f (target at most 1.10)\n", measured / minimum);
    const auto programmed = unit.lastDateStamp();
    std::printf("date stamp %s\n", programmed ? "recorded" : "missing");
    return 0;
}
