// Module audit files of 1 MiB and 4 MiB of each kind: the program's read from
// an emulated module through the library with the bus's frame clock on
// (against the least time its frames allow), decoding them into the audit
// list, and the export of the list to a text file.

#include <QApplication>
#include <QTemporaryDir>
#include <QTreeView>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "app/module/audit_export.h"
#include "app/module/audit_records.h"
#include "app/module/module_transfers.h"
#include "app/module/screen/kdu_audit_frame.h"
#include "bench/frame_clock.h"
#include "emulators/usb/bus/emulated_machine.h"
#include "emulators/usb/module_emulator.h"
#include "platform/host.h"
#include "usblib/device_manager.h"
#include "usblib/qel_usb.h"

namespace {

using namespace kovrin;
using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr uint32_t MiB = 1024 * 1024;
constexpr uint32_t ReadPiece = 255;
constexpr uint32_t ReplyCapacity = 256;  // the library's read of a module reply
constexpr uint32_t OpenRequest = 3, PlainRequest = 1, StatusReply = 1;

struct Case {
    AuditFileKind Kind;
    uint32_t Size;
    uint16_t Number = 0;
    Bytes Contents;
};

// Records of both layouts of the kind, counters from a simple generator.
Bytes AuditFile(AuditFileKind kind, uint32_t size)
{
    const size_t length = AuditRecordLength(kind);
    const size_t records = (size - AuditLeadingBytes) / length;
    Bytes file{0x00};
    file.reserve(1 + records * length);
    uint32_t seed = 12345;
    for (size_t r = 0; r < records; ++r) {
        Bytes record(length);
        for (uint8_t& b : record) {
            seed = seed * 1103515245u + 12345u;
            b = uint8_t(seed >> 16);
        }
        const std::string head = (kind == AuditFileKind::Sarnel ? "TS5" : "TT7") + std::to_string(10000000 + r) +
                                 (kind == AuditFileKind::Sarnel ? "TYX-5-100" : "TYX-7-200");
        std::copy(head.begin(), head.end(), record.begin());
        record[21] = 0x00;
        const bool packed = r % 2 == 1;
        record[22] = kind == AuditFileKind::Sarnel ? (packed ? 0x43 : 0x42) : (packed ? 0x18 : 0x17);
        file.insert(file.end(), record.begin(), record.end());
    }
    return file;
}

// Open, reads of 255 bytes until one of none, close: the frames they need at the least.
uint32_t LeastReadFrames(uint32_t size)
{
    uint32_t frames = bench::LeastFramesPerExchange(OpenRequest, StatusReply, ReplyCapacity);
    for (uint32_t at = 0; at < size; at += ReadPiece)
        frames += bench::LeastFramesPerExchange(PlainRequest, 1 + std::min(ReadPiece, size - at), ReplyCapacity);
    frames += bench::LeastFramesPerExchange(PlainRequest, StatusReply, ReplyCapacity);  // the empty piece
    frames += bench::LeastFramesPerExchange(PlainRequest, StatusReply, ReplyCapacity);  // close
    return frames;
}

// The program's whole-file read over the library linked in here.
KduFileRead ReadWholeFile(UsbDevice kdu, uint16_t number, size_t size)
{
    ModuleExports exports;
    exports.PMOpenFileForRead = ::VoskUsb_PMOpenFileForRead;
    exports.PMReadFile = ::VoskUsb_PMReadFile;
    exports.PMCloseFile = ::VoskUsb_PMCloseFile;
    return ReadKduFile(exports, kdu, number, size + 2 * ReadPiece, [](size_t) {});
}

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

UsbDevice module = 0;
void Arrived(UsbDevice device, int32_t event, DeviceType)
{
    if (event == USB_DEVICE_ARRIVED)
        module = device;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setenv("QELUSB_BUS", "emulated", 1);
    unsetenv("QELUSB_EMULATED");
    if (!usblib::StartHost() || !platform::host::EmulatedBus()) {
        std::fprintf(stderr, "module-audit-bench: no emulated bus\n");
        return 1;
    }

    std::vector<Case> cases;
    for (uint32_t size : {1 * MiB, 4 * MiB})
        for (AuditFileKind kind : {AuditFileKind::Sarnel, AuditFileKind::Tekra})
            cases.push_back(Case{kind, size, 0, AuditFile(kind, size)});
    emulator::usb::ModuleOptions options;
    options.Capacity = 11 * MiB;
    auto kdu = std::make_shared<emulator::usb::ModuleEmulator>(options);
    for (Case& c : cases) {
        emulator::usb::ModuleFile file;
        file.VariantId = c.Kind == AuditFileKind::Sarnel ? 0x04000000 : 0x08000000;
        file.DataFileKind = c.Kind == AuditFileKind::Sarnel ? 1 : 4;
        file.SetName(c.Kind == AuditFileKind::Sarnel ? "TyxAuditData.bin" : "TyxTekraAuditData.bin");
        file.Contents = c.Contents;
        const bool added = kdu->WithFiles([&](emulator::usb::ModuleFiles& files) {
            if (!files.Add(file))
                return false;
            c.Number = files.Files().back().Number;
            return true;
        });
        if (!added) {
            std::fprintf(stderr, "module-audit-bench: the module has no room for the files\n");
            return 1;
        }
    }

    platform::usb::EmulatedBus& bus = *platform::host::EmulatedBus();
    bus.Plug(kdu);
    platform::host::WaitIdle();
    if (::VoskUsb_Initialise(&Arrived) != 1 || !module || ::VoskUsb_OpenDevice(module) != USB_RESULT_SUCCESS) {
        std::fprintf(stderr, "module-audit-bench: the module was not found or did not open\n");
        return 1;
    }
    bus.SetFrameClock(true);
    QTemporaryDir folder;

#ifdef NDEBUG
    const char* build = "an optimised build";
#else
    const char* build = "a debug build: decoding and export take several times longer than optimised";
#endif
    std::printf("%s\n", build);
    std::printf("frames of 1 ms, at most %d packets of %u bytes; module reads of %u bytes a piece\n",
                platform::usb::EmulatedBus::kPacketsPerFrame, bench::kPacketSize, ReadPiece);
    std::printf("%-7s %5s %8s %10s %10s %6s %12s %10s\n", "file", "MiB", "records", "read least", "measured",
                "ratio", "decode+list", "export");
    std::printf("%-7s %5s %8s %10s %10s %6s %12s %10s\n", "", "", "", "(ms)", "(ms)", "", "(ms)", "(ms)");
    bool readGoal = true, listGoal = true, exportGoal = true;
    for (const Case& c : cases) {
        Clock::time_point start = Clock::now();
        const KduFileRead whole = ReadWholeFile(module, c.Number, c.Contents.size());
        const double read = Seconds(start);
        if (whole.Status != 0 || whole.Data != c.Contents) {
            std::fprintf(stderr, "module-audit-bench: the file did not come back whole\n");
            return 1;
        }
        const Bytes& data = whole.Data;
        const double least = LeastReadFrames(uint32_t(data.size())) * 1e-3;

        KduAuditFrame frame;
        frame.resize(1400, 600);
        start = Clock::now();
        frame.ShowAuditFile(data, c.Kind);
        QApplication::processEvents();  // the view lays out and paints
        const double list = Seconds(start);
        const int rows = frame.ListViewAudit->model()->rowCount();

        start = Clock::now();
        const QString error =
            SaveAuditText(folder.filePath("audit.txt"), AuditExportText(*frame.ListViewAudit->model()));
        const double exported = Seconds(start);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "module-audit-bench: %s\n", qPrintable(error));
            return 1;
        }

        const double ratio = least / read;
        if (c.Size == 1 * MiB) {
            listGoal = listGoal && list < 0.2;
            exportGoal = exportGoal && exported < 0.3;
        }
        readGoal = readGoal && ratio >= 0.8;
        std::printf("%-7s %5u %8d %10.0f %10.0f %6.3f %12.1f %10.1f\n",
                    c.Kind == AuditFileKind::Sarnel ? "Sarnel" : "Tekra", c.Size / MiB, rows, least * 1e3,
                    read * 1e3, ratio, list * 1e3, exported * 1e3);
    }
    std::printf("ratio = least time / measured time; goal 0.8 or more: %s\n", readGoal ? "met" : "NOT met");
    std::printf("decode and fill the list of a 1 MiB file, goal under 200 ms: %s\n", listGoal ? "met" : "NOT met");
    std::printf("export a 1 MiB file's list, goal under 300 ms: %s\n", exportGoal ? "met" : "NOT met");
    std::printf("each figure of a 4 MiB file should be about four times that of a 1 MiB file\n");
    ::VoskUsb_Remove();
    return 0;
}
