#include "app/module/module_session.h"

#include <algorithm>
#include <climits>

#include "app/config/eeprom_map.h"
#include "app/config/screen_values.h"
#include "app/module/audit_files.h"
#include "app/module/module_downloads.h"
#include "app/module/module_texts.h"

namespace kovrin {

namespace {

// A module below this software revision (revision byte 1) is refused.
constexpr uint8_t MinimumKduSoftware = 5;
constexpr size_t RevisionBufferLength = 10;

}  // namespace

std::string MessageLines(const std::vector<std::string>& lines)
{
    std::string all;
    for (size_t i = 0; i < lines.size(); ++i)
        all += (i ? "\n" : "") + lines[i];
    return all;
}

std::string Latin1Text(const std::string& bytes)
{
    std::string text;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            text += c;
        } else {
            text += char(0xC0 | (b >> 6));
            text += char(0x80 | (b & 0x3F));
        }
    }
    return text;
}

ModuleSession::ModuleSession(ModuleExports exports, ModuleSessionHost& host) : usb_(std::move(exports)), host_(host) {}

// ---- units

ModuleSession::Arrival ModuleSession::UnitArrived(UsbDevice handle, int32_t unitType)
{
    if (const UsbResult opened = usb_.OpenDevice(handle)) {
        ShowUsbError(opened);
        return Arrival::NotOpened;
    }
    uint8_t revision[RevisionBufferLength] = {};
    if (const UsbResult result = usb_.PMGetFWRev(handle, revision)) {
        ShowUsbError(result);
        return Arrival::Opened;
    }
    if (revision[1] < MinimumKduSoftware) {
        host_.Message("KDU software needs to be updated.  Cannot connect to KDU.", "Old KDU App software");
        usb_.CloseDevice(handle);
        return Arrival::Refused;
    }
    if (unitType == USB_DEVICE_KDU) {
        // A transfer cut short by an unplug may have left a file open on the module, which then
        // refuses every new file and the erase of that one; a close with none open does no harm.
        uint8_t closeStatus = 0;
        usb_.PMCloseFile(handle, &closeStatus);
        usableUnits_.insert(handle);
        TakeKduIntoUse(handle, true);
    }
    return Arrival::Opened;
}

void ModuleSession::UnitRemoved(UsbDevice handle)
{
    if (const UsbResult closed = usb_.CloseDevice(handle))
        ShowUsbError(closed);
    usableUnits_.erase(handle);
    // Only the unit in use takes the module screen with it.
    if (handle == KduInUse)
        ForgetUnitInUse();
}

bool ModuleSession::ChooseUnit(UsbDevice handle)
{
    // Choosing a module again lists its files again.
    if (ModuleBusy || !usableUnits_.count(handle))
        return false;
    TakeKduIntoUse(handle, false);
    return true;
}

void ModuleSession::LibraryStopped()
{
    usableUnits_.clear();
    if (KduInUse)
        ForgetUnitInUse();
}

void ModuleSession::TakeKduIntoUse(UsbDevice handle, bool arrived)
{
    KduInUse = handle;
    host_.ShowUnitConnected(arrived);
    RefreshKduFileList(handle);
    host_.ShowModuleReady();
}

void ModuleSession::ForgetUnitInUse()
{
    KduInUse = 0;
    KduFiles = {};
    KduListStale = true;
    host_.ShowModuleGone();
}

// ---- files

void ModuleSession::ShowUsbError(UsbResult result)
{
    host_.Message(UsbErrorText(result));
}

void ModuleSession::RefreshKduFileList(UsbDevice handle)
{
    KduFiles = EnumerateKduFiles(usb_, handle);
    KduListStale = !KduFiles.Complete;
    host_.ShowFileList(KduFiles);
    if (KduFiles.Failure)
        ShowUsbError(KduFiles.Failure);
    else if (KduFiles.Capped)
        host_.Message("The KDU reported more than " + std::to_string(MaxKduDirectoryEntries) +
                      " files; the list stops there.");
}

void ModuleSession::ConfirmEraseKduFile(const KduFileRow& line)
{
    std::string name = line.Name;
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    const uint16_t number = *line.Number;  // the row goes with the list's refresh
    // The number names a file on this unit only; another may be taken into use while the box is open.
    const UsbDevice unit = KduInUse;
    if (!host_.Confirm("Confirm erase file \"" + Latin1Text(name) + "\""))
        return;
    if (!unit || KduInUse != unit) {
        host_.Message("The KDU that file was on is no longer the one in use; nothing was erased.");
        return;
    }
    DeleteKduFile(number);
}

void ModuleSession::DeleteKduFile(uint16_t fileNo)
{
    if (!KduInUse)
        return;
    const KduFileDelete deleted = kovrin::DeleteKduFile(usb_, KduInUse, fileNo);
    if (deleted.Result)
        ShowUsbError(deleted.Result);
    else if (deleted.Status != 0)
        host_.Message("File Delete Error");
    // Even without a reply that says so the module may have erased it, and the list would hold
    // the file back from a second download of its kind.
    RefreshKduFileList(KduInUse);
}

KduFileRead ModuleSession::ReadListedKduFile(uint16_t fileNo, const std::function<void(size_t)>& progress)
{
    // The directory's size may lag behind the data; only a read that never ends is refused.
    return kovrin::ReadKduFile(usb_, KduInUse, fileNo, KduFileReadLimit, progress);
}

uint8_t ModuleSession::ReadKduFile(uint16_t fileNo, Bytes& data)
{
    data.clear();
    if (!KduInUse) {
        host_.Message("No USB Handle");
        return 1;
    }
    KduFileRead read = ReadListedKduFile(fileNo);
    for (const std::string& message : read.Messages)
        host_.Message(message);
    data = std::move(read.Data);
    return read.Status;
}

// ---- downloads

bool ModuleSession::KduReadyForNewFile()
{
    if (!KduInUse) {
        host_.Message("No USB Handle");
        return false;
    }
    if (KduListStale)
        RefreshKduFileList(KduInUse);
    if (!KduListStale)
        return true;
    host_.Message("The list of files on the KDU could not be read, so nothing was written to it.");
    return false;
}

void ModuleSession::BeginModuleWork()
{
    ModuleBusy = true;
    host_.WorkStarted();
}

void ModuleSession::EndModuleWork()
{
    host_.WorkEnding();
    ModuleBusy = false;
    host_.WorkEnded();
}

void ModuleSession::DownloadFirmwareToKdu(uint32_t variantId, const FirmwareImage& image, const LocalTime& now)
{
    if (ModuleBusy)
        return;
    if (!KduReadyForNewFile())
        return;
    if ((variantId == SarnelVariantId && KduFiles.SarnelFirmwarePresent) ||
        (variantId == TekraVariantId && KduFiles.TekraFirmwarePresent)) {
        host_.Message("Cannot have more than one firmware file for a Tyx BA", "Firmware already loaded");
        return;
    }
    // An image of no known variant shows no revision.
    const std::string revision = image.ImageVariant != 0 ? image.revision : std::string();
    const std::optional<std::string> name = FirmwareFileName(revision);
    if (!name) {
        host_.Message("The firmware revision " + Latin1Text(revision) +
                      " does not fit the three digits of the module's file name; nothing was written.");
        return;
    }
    const auto date = DateStampData(now, !ModuleDateUsesCalendar(ImageVariantName(image.ImageVariant), revision));
    const std::vector<std::string> records = ModuleFirmwareRecords(image, date);
    const size_t blockCount = image.BlockTable.size();
    std::vector<Bytes> writes;
    std::vector<size_t> blocksDone;  // by write: the blocks wholly written once it is
    for (size_t r = 0; r < records.size(); ++r)
        for (Bytes& piece : RecordWrites(records[r])) {
            writes.push_back(std::move(piece));
            blocksDone.push_back(std::min(r + 1, blockCount));
        }

    host_.SetProgressRange(int(std::max<size_t>(blockCount, 1)));
    host_.SetProgress(0);
    host_.ShowDownloadStatus("Downloading to KDU...");
    BeginModuleWork();
    const UsbDevice handle = KduInUse;
    const KduFileWrite outcome =
        WriteKduFile(usb_, handle, FirmwareFileEntry(variantId, *name), writes, KduFiles, [&](size_t written) {
            host_.SetProgress(int(blocksDone[written - 1]));
            host_.KeepPainted();
        });
    EndModuleWork();
    host_.SetProgressRange(100);
    host_.SetProgress(outcome.Written ? 100 : 0);
    host_.ShowDownloadStatus(outcome.Written ? "Download complete" : "Download failed");
    if (!outcome.Written)
        host_.Message(MessageLines(outcome.Messages));
    if (KduInUse == handle)
        RefreshKduFileList(handle);
}

int16_t ModuleSession::DownloadConfigurationToKdu(const EepromRecord& record, const KduConfigTarget& target)
{
    if (ModuleBusy)
        return 0;
    EepromImage image{};
    const CodecResult encoded = EncodeEepromImage(record, image);
    const int16_t length = EepromLengthOf(record);
    if (!encoded || length == 0) {
        host_.Message((encoded ? NoLayoutText(record.VariantCode) : encoded.message) + "\nNothing was sent.");
        return 0;
    }
    if (!KduReadyForNewFile())
        return 0;
    const KduFileInfo entry = ConfigFileEntry(target.ImageVariant, target.SetupRevision, target.CalibrationRevision);
    // One configuration file per variant identifier: the module could not tell two apart.
    if (entry.VariantId == SarnelVariantId ? KduFiles.SarnelConfigPresent : KduFiles.TekraConfigPresent) {
        host_.Message("Cannot have more than one config file for a Tyx BA", "Configuration already loaded");
        return 0;
    }
    host_.ShowConfigurationStatus("Loading configuration settings to KDU device");
    BeginModuleWork();
    const UsbDevice handle = KduInUse;
    const KduFileWrite outcome =
        WriteKduFile(usb_, handle, entry, Pieces(ModuleConfigContents(image, length), ConfigWriteLength), KduFiles);
    EndModuleWork();
    if (outcome.Written) {
        host_.ShowConfigurationStatus("Current configuration settings downloaded to KDU device.");
    } else {
        host_.ShowConfigurationStatus("The configuration was not written to the KDU.");
        host_.Message(MessageLines(outcome.Messages));
    }
    if (KduInUse == handle)
        RefreshKduFileList(handle);
    return length;
}

void ModuleSession::RefreshConfigurationFromKdu(const KduConfigTarget& target, uint8_t acceptorVariant,
                                                const EepromRecord& current)
{
    if (ModuleBusy)
        return;
    if (KduInUse && KduListStale)
        RefreshKduFileList(KduInUse);
    std::optional<uint16_t> found;
    for (const auto& [number, entry] : KduFiles.RevisionTable)
        if (entry.Variant == target.ImageVariant && entry.SetupRevision == target.SetupRevision &&
            entry.CalibrationRevision == target.CalibrationRevision) {
            found = number;
            break;
        }
    if (!found) {
        host_.Message("No configuration file found on BA for currently loaded revision");
        return;
    }
    Bytes data;
    if (ReadKduFile(*found, data) != 0)
        return;
    // The file is decoded by the attached acceptor's layout, so its length is checked against that
    // one, and every byte decoded comes from the file.
    const EepromLayout layout = LayoutOfVariant(acceptorVariant);
    if (layout == EepromLayout::None) {
        host_.Message(NoLayoutText(acceptorVariant) + "\nNothing was loaded.");
        return;
    }
    const int16_t needed = EepromLengthOfLayout(layout);
    if (data.size() < size_t(needed)) {
        host_.Message("The configuration file on the KDU holds " + std::to_string(data.size()) +
                      " bytes, too few for a configuration; nothing was loaded.");
        return;
    }
    EepromImage image{};
    std::copy_n(data.begin(), std::min(data.size(), image.size()), image.begin());
    EepromRecord read = current;
    if (const CodecResult decoded = DecodeEepromImage(read, image, 1, acceptorVariant); !decoded) {
        host_.Message(decoded.message + "\nNothing was loaded.");
        return;
    }
    host_.ShowConfigurationRead(read);
}

// ---- audit files

void ModuleSession::EnableAuditMode()
{
    // The listing is rebuilt after every change to the module, so what it last
    // showed answers this without asking the module.
    if (KduFiles.AuditFileId != -1) {
        host_.Message("Audit mode already enabled!", "Audit Mode");
        return;
    }
    // Only a listing that reached the end of the directory tells a missing
    // audit file from one it did not get to, and a second file of a kind would
    // hide the records the module collected in the first.
    if (!KduReadyForNewFile())
        return;
    // The listing may have been made again just now, and then it alone says what is missing.
    std::vector<AuditFileKind> missing;
    if (KduFiles.AuditFileId == -1)
        missing.push_back(AuditFileKind::Sarnel);
    if (KduFiles.TekraAuditFileId == -1)
        missing.push_back(AuditFileKind::Tekra);
    if (missing.empty()) {
        host_.Message("Audit mode already enabled!", "Audit Mode");
        return;
    }
    const UsbDevice handle = KduInUse;
    const KduFileList before = KduFiles;
    std::vector<std::string> failures;
    BeginModuleWork();
    for (AuditFileKind kind : missing) {
        // A refused create writes nothing: the leading byte would land in whatever file the module has open.
        const KduFileWrite made = WriteKduFile(usb_, handle, AuditFileEntry(kind), {NewAuditFileContents}, before);
        if (!made.Written)
            failures.push_back(MessageLines(made.Messages));
    }
    EndModuleWork();
    for (const std::string& failure : failures)
        host_.Message(failure);
    if (KduInUse == handle)
        RefreshKduFileList(handle);
}

void ModuleSession::ViewKduAudit(const KduFileRow* selected)
{
    if (!selected) {
        host_.Message("Please select a file.", "No file selected");
        return;
    }
    const std::optional<AuditFileKind> kind =
        selected->Number ? AuditFileKindOf(KduFiles, *selected->Number) : std::nullopt;
    if (!kind) {
        host_.Message("Not a valid audit file.", "Invalid file");
        return;
    }
    if (!KduInUse) {
        host_.Message("No USB Handle");
        return;
    }
    const uint16_t number = *selected->Number;
    const int maximum = int(std::clamp<uint32_t>(selected->Size, 1, INT_MAX));
    host_.SetProgressRange(maximum);
    host_.SetProgress(0);
    BeginModuleWork();
    KduFileRead read = ReadListedKduFile(number, [&](size_t done) {
        host_.SetProgress(int(std::min<size_t>(done, size_t(maximum))));
        host_.KeepPainted();
    });
    EndModuleWork();
    host_.SetProgress(read.Status == 0 ? maximum : 0);
    for (const std::string& message : read.Messages)
        host_.Message(message);
    if (read.Status != 0) {
        host_.Message("Could not read file from KDU", "Read failed");
        return;
    }
    host_.ShowAuditFile(read.Data, *kind);
}

}  // namespace kovrin
