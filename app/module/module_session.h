#pragma once
// The programming module's flows: the unit in use, its file list, erase, the
// firmware and configuration downloads, the configuration read-back and the
// audit files. It speaks to the module through ModuleExports and tells its
// host what to show; it knows no widget.

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/config/eeprom_record.h"
#include "app/core/date_stamp.h"
#include "app/core/firmware_image.h"
#include "app/module/audit_records.h"
#include "app/module/kdu_directory.h"
#include "app/module/module_transfers.h"
#include "app/module/qel_usb_client.h"

namespace kovrin {

// What the session shows through its window. Every message box is asked for
// here, in the order the user is to see them.
class ModuleSessionHost {
public:
    virtual ~ModuleSessionHost() = default;

    // A message box with an OK button; an empty title is the program's.
    virtual void Message(const std::string& text, const std::string& title = {}) = 0;
    // A message box with OK and Cancel under the program's title; true for OK.
    virtual bool Confirm(const std::string& text) = 0;

    // A unit is now the one in use (`arrived`: it has just been plugged in); its files are listed next.
    virtual void ShowUnitConnected(bool arrived) = 0;
    // Its files are listed: the module's part of the window shows.
    virtual void ShowModuleReady() = 0;
    // No unit is in use any more.
    virtual void ShowModuleGone() = 0;
    virtual void ShowFileList(const KduFileList& files) = 0;

    virtual void SetProgressRange(int maximum) = 0;  // from 0
    virtual void SetProgress(int value) = 0;
    virtual void ShowDownloadStatus(const std::string& text) = 0;
    virtual void ShowConfigurationStatus(const std::string& text) = 0;
    // A configuration file read back from the module, decoded.
    virtual void ShowConfigurationRead(const EepromRecord& record) = 0;
    virtual void ShowAuditFile(const Bytes& file, AuditFileKind kind) = 0;

    // A transfer is under way (ModuleBusy already set): nothing else may start meanwhile.
    virtual void WorkStarted() = 0;
    // The transfer is over: input that came meanwhile is let go while ModuleBusy still holds.
    virtual void WorkEnding() = 0;
    // ModuleBusy is clear again.
    virtual void WorkEnded() = 0;
    // Keeps the window painted during a transfer without taking input.
    virtual void KeepPainted() = 0;
};

// What a configuration file on the module belongs to: the loaded firmware
// image's variant and the acceptor's factory revisions.
struct KduConfigTarget {
    uint8_t ImageVariant = 0;
    uint16_t SetupRevision = 0;
    uint16_t CalibrationRevision = 0;
};

class ModuleSession {
public:
    ModuleSession(ModuleExports exports, ModuleSessionHost& host);

    // The unit the module operations address (0: none).
    UsbDevice KduInUse = 0;
    // What the last listing of its files found (AuditFileId, the present flags, RevisionTable).
    KduFileList KduFiles;
    // The last listing failed: no file is created until a listing succeeds.
    bool KduListStale = true;
    bool ModuleBusy = false;  // a download to or read from the module is under way

    // ---- units
    enum class Arrival { NotOpened, Opened, Refused };
    // A unit was plugged in. Refused: its software is too old and it was closed again.
    Arrival UnitArrived(UsbDevice handle, int32_t unitType);
    void UnitRemoved(UsbDevice handle);
    // The user chose `handle`; false when it cannot be taken into use now.
    bool ChooseUnit(UsbDevice handle);
    // The library has let go of every handle.
    void LibraryStopped();

    // ---- files
    void RefreshKduFileList(UsbDevice handle);
    void ShowUsbError(UsbResult result);
    // Asks before erasing the file of `line` from the unit in use.
    void ConfirmEraseKduFile(const KduFileRow& line);
    // Erases file `fileNo` of the unit in use, then lists the unit again whatever the reply.
    void DeleteKduFile(uint16_t fileNo);
    // Reads a file of the unit in use whole into `data`; 0 when it was read and closed, else its messages were shown.
    uint8_t ReadKduFile(uint16_t fileNo, Bytes& data);

    // ---- downloads and the read-back
    // Stores `image` on the module as the firmware file of `variantId`, dated `now`.
    void DownloadFirmwareToKdu(uint32_t variantId, const FirmwareImage& image, const LocalTime& now);
    // Stores `record` as the module's configuration file of `target`; returns the image bytes
    // it took for the file (the state's EepromLength), 0 when it stopped before writing.
    int16_t DownloadConfigurationToKdu(const EepromRecord& record, const KduConfigTarget& target);
    // Reads the module's configuration file of `target` into a copy of `current`,
    // decoded by the attached acceptor's layout (`acceptorVariant`).
    void RefreshConfigurationFromKdu(const KduConfigTarget& target, uint8_t acceptorVariant,
                                     const EepromRecord& current);

    // ---- audit files
    // Creates the audit files the module lacks, after a listing that shows it lacks them.
    void EnableAuditMode();
    // Reads the audit file of the selected line (nullptr: none) and has it shown.
    void ViewKduAudit(const KduFileRow* selected);

private:
    void TakeKduIntoUse(UsbDevice handle, bool arrived);
    void ForgetUnitInUse();
    // A unit is in use and its file list is whole (listed again if it was not); else says why not.
    bool KduReadyForNewFile();
    void BeginModuleWork();
    void EndModuleWork();
    KduFileRead ReadListedKduFile(uint16_t fileNo, const std::function<void(size_t)>& progress = {});

    ModuleExports usb_;
    ModuleSessionHost& host_;
    std::set<UsbDevice> usableUnits_;  // opened KDUs with current software
};

// The messages of a module operation, one a line.
std::string MessageLines(const std::vector<std::string>& lines);
// Text of Latin-1 bytes (names and revisions as a module or an image holds them), in UTF-8.
std::string Latin1Text(const std::string& bytes);

}  // namespace kovrin
