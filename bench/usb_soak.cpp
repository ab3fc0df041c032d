// Soak of the programming module's link: Kovrin (offscreen) on its "USB" entry
// drives the emulated KDU through the USB library, the driver and the emulated
// bus (file lists, firmware and configuration downloads, a configuration read
// back, erases) while the soak unplugs the module at a random transfer of a
// random operation and plugs it in again.
//
//   usb-soak [SECONDS] [SEED]     (default 120 s, a seed from the clock)
//
// Printed: the operations (and how many an unplug cut short), the unplugs,
// crashes (goal 0: the soak ran to its end), files left on the module that are
// not whole (goal 0), and the growth of resident memory and of open
// descriptors from the start to the end (goal 0).

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <string>

#include "app/config/eeprom_map.h"
#include "app/settings/program_folder.h"
#include "app/settings/program_settings.h"
#include "app/main/start_up.h"
#include "app/mainwindow/form_main.h"
#include "app/module/kdu_directory.h"
#include "app/module/kdu_file_list_model.h"
#include "app/widgets/message_seam.h"
#include "bench/soak_support.h"
#include "driver/qelusb_public.h"
#include "emulators/usb/bus/emulated_machine.h"
#include "emulators/usb/module_emulator.h"
#include "emulators/usb/usb_emulators.h"
#include "platform/host.h"
#include "tests/support/hex_writer.h"

namespace {

using namespace kovrin;
using namespace kovrin::soak;
using emulator::usb::ModuleEmulator;
using emulator::usb::ModuleFile;
using platform::usb::UnplugPoint;

void Settle()
{
    platform::host::WaitIdle();
    RunFor(std::chrono::milliseconds(20));
}

enum class Operation { FileList, FirmwareDownload, ConfigurationDownload, ConfigurationRead, Erase, Count };

const char* Name(Operation op)
{
    switch (op) {
    case Operation::FileList: return "file list";
    case Operation::FirmwareDownload: return "firmware download";
    case Operation::ConfigurationDownload: return "configuration download";
    case Operation::ConfigurationRead: return "configuration read back";
    case Operation::Erase: return "erase";
    case Operation::Count: break;
    }
    return "";
}

struct Tally {
    int done = 0;
    int cut = 0;
};

class UsbSoak {
public:
    UsbSoak(QString folder, unsigned seed) : folder_(std::move(folder)), random_(seed) {}

    bool Start()
    {
        bus_ = platform::host::EmulatedBus();
        if (!bus_)
            return false;
        auto made = emulator::usb::MakeUsbEmulator("kdu", DEMO_SEED);
        if (!made.Device)
            return false;
        kdu_ = std::static_pointer_cast<ModuleEmulator>(made.Device);
        port_ = bus_->Plug(kdu_);
        platform::host::WaitIdle();
        form_ = Main();
        if (!Connected())
            return false;
        LoadImage();
        // The whole files as Kovrin writes them, to tell a partial one by (a download erases one there first).
        for (const auto& [op, fileClass] : {std::pair{Operation::FirmwareDownload, uint8_t(KduApplication)},
                                             std::pair{Operation::ConfigurationDownload, uint8_t(KduDataFile)}}) {
            if (OnModule(fileClass))
                Run(op);
            Run(op);
        }
        for (const ModuleFile& f : kdu_->Files())
            if (Written(f))
                whole_[f.NameText()] = f.Contents;
        // Once the configuration screen took the image's configuration, whose revisions the read looks for.
        AddReadableConfiguration();
        return whole_.size() == 2;
    }

    // One operation, cut short by an unplug at a random transfer one time in three.
    void Round()
    {
        const Operation op = Operation(std::uniform_int_distribution<int>(0, int(Operation::Count) - 1)(random_));
        const bool unplug = std::uniform_int_distribution<int>(0, 2)(random_) == 0;
        if (unplug) {
            const UnplugPoint point = std::uniform_int_distribution<int>(0, 1)(random_) ? UnplugPoint::OutTransfer
                                                                                        : UnplugPoint::InTransfer;
            bus_->UnplugAt(port_, point, std::uniform_int_distribution<int>(1, 40)(random_));
        }
        const int partialBefore = PartialFiles();
        Run(op);
        ++tallies_[op].done;
        kdu_->ForgetRequests();  // the emulator's own log would show as growth
        if (unplug) {
            // Gone during the operation, or the unplug is still waiting for its transfer: take it out now.
            const bool gone = form_->Module.KduInUse == 0 || !Connected(0);
            if (gone)
                ++tallies_[op].cut;
            bus_->UnplugAt(port_, UnplugPoint::None);
            bus_->Unplug(port_);
            Settle();
            ++unplugs_;
            port_ = bus_->Plug(kdu_);
            if (!Connected())
                std::printf("Kovrin did not take the module into use again after %s\n", Name(op));
            leftPartial_ += PartialFiles() > partialBefore;
        }
    }

    // Files Kovrin wrote that are not as a whole download leaves them.
    int PartialFiles() const
    {
        int partial = 0;
        for (const ModuleFile& f : kdu_->Files()) {
            if (!Written(f))
                continue;
            const auto whole = whole_.find(f.NameText());
            partial += whole == whole_.end() || whole->second != f.Contents;
        }
        return partial;
    }

    void Report() const
    {
        int all = 0;
        for (const auto& [op, t] : tallies_) {
            std::printf("  %-26s %5d, cut short by an unplug %4d\n", Name(op), t.done, t.cut);
            all += t.done;
        }
        std::printf("operations: %d\nunplugs: %d\n", all, unplugs_);
    }

    int Messages() const { return messages_; }
    int CutsLeavingPartialFiles() const { return leftPartial_; }
    void CountMessage() { ++messages_; }

private:
    bool Connected(int timeoutMs = 10000)
    {
        return RunUntil([&] { return form_->Label7[0]->text() == "CONNECTED TO KDU" && form_->Module.KduInUse != 0; },
                        std::chrono::milliseconds(timeoutMs));
    }

    // Firmware and configuration files are the ones Kovrin writes.
    static bool Written(const ModuleFile& f)
    {
        return f.FileClass == KduApplication || (f.FileClass == KduDataFile && f.DataFileKind == KduConfigKind);
    }

    bool OnModule(uint8_t fileClass) const
    {
        const auto files = kdu_->Files();
        return std::any_of(files.begin(), files.end(), [&](const ModuleFile& f) {
            return f.FileClass == fileClass && (fileClass != KduDataFile || f.DataFileKind == KduConfigKind);
        });
    }

    void Run(Operation op)
    {
        if (form_->Module.KduInUse == 0)
            return;
        switch (op) {
        case Operation::FileList:
            form_->ComboPort_Click(form_->ComboPort->currentIndex());
            break;
        case Operation::FirmwareDownload:
            if (OnModule(KduApplication))
                Erase(KduApplication);
            else
                form_->cmdFlashRqt_Click();
            break;
        case Operation::ConfigurationDownload:
            if (OnModule(KduDataFile)) {
                Erase(KduDataFile);
                break;
            }
            form_->cmdConfig_Click();
            form_->State.ConfigSource = ConfigFromFile;
            form_->cmdSend_Click();
            break;
        case Operation::ConfigurationRead:
            form_->cmdConfig_Click();
            form_->cmdRefresh_Click();
            break;
        case Operation::Erase:
            Erase(std::uniform_int_distribution<int>(0, 1)(random_) ? KduApplication : KduDataFile);
            break;
        case Operation::Count:
            break;
        }
        Settle();
    }

    // Selects a listed file Kovrin wrote, of that class, and erases it.
    void Erase(uint8_t fileClass)
    {
        const KduFileList& list = form_->Module.KduFiles;
        QAbstractItemModel* model = form_->ListKDU->model();
        for (size_t row = 0; row < list.Lines.size() && int(row) < model->rowCount(); ++row) {
            const bool firmware = list.Lines[row].Type.rfind("Application", 0) == 0;
            // The readable configuration is the soak's own; it stays.
            const bool config = list.Lines[row].Type == "Configuration" &&
                                list.Lines[row].Name.rfind("Tyx_Config.bin", 0) == 0 &&
                                !list.RevisionTable.count(*list.Lines[row].Number);
            if ((fileClass == KduApplication && firmware) || (fileClass == KduDataFile && config)) {
                form_->ListKDU->selectionModel()->select(
                    model->index(int(row), 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                form_->CommandKDUErase->click();
                return;
            }
        }
    }

    // A variant-5 image whose configuration block holds the layout's defaults.
    void LoadImage()
    {
        EepromRecord defaults;
        LoadEepromDefaults(defaults, 5);
        const std::string serial = "12345678901";
        std::copy(serial.begin(), serial.end(), defaults.SerialNumber.begin());
        EepromImage eeprom{};
        EncodeEepromImage(defaults, eeprom);
        std::vector<test::HexRecordLine> lines = {{0x4000, 0, test::Description(5, "0043")},
                                                  {0x5000, 0, Bytes(eeprom.begin(), eeprom.begin() + 128)},
                                                  {0x5080, 0, Bytes(eeprom.begin() + 128, eeprom.end())}};
        for (uint16_t at = 0x6000; at < 0x9000; at += 32)
            lines.push_back({at, 0, test::Ramp(32, uint8_t(at >> 5))});
        lines.push_back(test::Eof());
        QFile hex(folder_ + "/image.hex");
        hex.open(QIODevice::WriteOnly);
        hex.write(test::HexText(lines).c_str());
        hex.close();
        form_->State.Settings.FirmwareFilePath = hex.fileName().toStdString();
        form_->LoadHexFile();
    }

    // A configuration of the image's revisions that Kovrin can read back.
    void AddReadableConfiguration()
    {
        EepromRecord record;
        LoadEepromDefaults(record, 5);
        EepromImage image{};
        EncodeEepromImage(record, image);
        kdu_->WithFiles([&](emulator::usb::ModuleFiles& files) {
            ModuleFile readable;
            readable.SetName("Tyx_Config.bin");
            readable.VariantId = SarnelVariantId;
            readable.DataFileKind = KduReadableConfigKind;
            readable.SetupRevision = form_->State.FactoryRecord.SetupRevision;
            readable.CalibrationRevision = form_->State.FactoryRecord.CalibrationRevision;
            readable.Contents.assign(image.begin(), image.begin() + 176);
            return files.Add(readable);
        });
        Run(Operation::FileList);
    }

    QString folder_;
    std::mt19937 random_;
    platform::usb::EmulatedBus* bus_ = nullptr;
    std::shared_ptr<ModuleEmulator> kdu_;
    int port_ = 0;
    std::unique_ptr<FormMain> form_;
    std::map<std::string, Bytes> whole_;
    std::map<Operation, Tally> tallies_;
    int unplugs_ = 0;
    int leftPartial_ = 0;
    int messages_ = 0;
};

}  // namespace

// Freed memory that AddressSanitizer holds back to catch late uses would show as growth.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=0:thread_local_quarantine_size_kb=0"; }

int main(int argc, char** argv)
{
    const auto [seconds, seed] = ArgumentsOf(argc, argv);
    setenv("QELUSB_BUS", "emulated", 1);
    unsetenv("QELUSB_EMULATED");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    SetProgramFolderForTesting(dir.path());
    // Kovrin loads the library by name from its folder and starts on its "USB" entry.
    QFile::link(KOVRIN_BIN_DIR "/libqel_usb.so", dir.path() + "/libqel_usb.so");
    QFile settings(dir.path() + "/Kovrin.ini");
    settings.open(QIODevice::WriteOnly);
    settings.write("9\r\n\r\n\r\n");
    settings.close();
    if (!platform::host::Start({qelusb::kDriverName, qelusb::DriverHardwareIds(), KOVRIN_BIN_DIR})) {
        std::printf("the emulated bus did not start\n");
        return 1;
    }

    UsbSoak soak(dir.path(), seed);
    SetMessageHandler([&](const MessageRequest&) {
        soak.CountMessage();
        return MsgResult::Ok;
    });
    if (!soak.Start()) {
        std::printf("Kovrin did not take the emulated KDU into use and download to it\n");
        return 1;
    }
    Settle();
    const Growth growth;

    std::printf("USB soak: %d s, seed %u\n", seconds, seed);
    std::fflush(stdout);
    const auto start = Clock::now();
    while (Clock::now() - start < std::chrono::seconds(seconds))
        soak.Round();
    Settle();

    soak.Report();
    std::printf("crashes: 0 (the soak ran to its end in %.0f s)\n", Seconds(Clock::now() - start));
    std::printf("unplugs that left a partial file on the module: %d; partial files on it at the end: %d (goal 0)\n",
                soak.CutsLeavingPartialFiles(), soak.PartialFiles());
    growth.Print("; the emulated bus keeps every port it made and a log of its transfers");
    std::printf("messages shown: %d\n", soak.Messages());
    return 0;
}
