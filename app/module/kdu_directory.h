#pragma once
// The programming module's directory: the walk over its entries, the line each
// file is listed with, and what later module operations need to know of it.

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/core/acceptor_variants.h"
#include "app/module/qel_usb_client.h"

namespace kovrin {


// The walk stops here: a module that never reports the end of its directory.
constexpr uint32_t MaxKduDirectoryEntries = 2000;
// "Invalid File": the module's answer for an index past its last entry. Any other status
// ends a walk too, but says nothing of the entries beyond ("Unable to respond", say).
constexpr uint8_t KduNoEntryStatus = 5;

enum KduFileClass : int16_t { KduDataFile = 0, KduBootloader1 = 1, KduBootloader2 = 2, KduApplication = 3, KduVariant = 5 };
enum KduDataFileKind : uint16_t { KduAuditKind = 1, KduConfigKind = 2, KduReadableConfigKind = 3, KduTekraAuditKind = 4 };

// A module configuration file that can be read back into the configuration screen.
struct KduRevisionEntry {
    uint16_t SetupRevision = 0;
    uint16_t CalibrationRevision = 0;
    uint8_t Variant = 0;  // 5 Sarnel, 7 Tekra
};

struct KduFileRow {
    std::optional<uint16_t> Number;  // none for the "No Files found" line
    std::string Name;                // the 29 name characters as the line shows them
    std::string Type;
    uint32_t Size = 0;
    std::string Line;  // number, name, type and size, tab-separated
};

struct KduFileList {
    std::vector<KduFileRow> Lines;  // directory order
    int32_t AuditFileId = -1;       // file number of the audit file of kind 1, -1 for none
    int32_t TekraAuditFileId = -1;  // of kind 4
    bool SarnelConfigPresent = false;
    bool TekraConfigPresent = false;
    bool SarnelFirmwarePresent = false;
    bool TekraFirmwarePresent = false;
    std::map<uint16_t, KduRevisionEntry> RevisionTable;  // by file number
    // The walk reached the end of the directory; otherwise the facts above may miss files.
    bool Complete = false;
    uint8_t EndStatus = 0;  // the module status that ended a complete walk
    UsbResult Failure = USB_RESULT_SUCCESS;  // the library result that stopped the walk
    bool Capped = false;                     // stopped at MaxKduDirectoryEntries

    // Complete, and ended by the module's word that no entry lies beyond: no file was left out.
    bool ShowsEveryFile() const { return Complete && EndStatus == KduNoEntryStatus; }
    const KduFileRow* Find(uint16_t number) const;
    std::set<uint16_t> Numbers() const;
};

// The name as listed: the 29 name bytes, each below 0x20 as a blank.
std::string KduListedName(const KduFileInfo& info);
// The type text of an entry ("Configuration", "Audit", "Application (Tekra)", ...).
std::string KduFileTypeText(const KduFileInfo& info);
// The entry's list line, with an application's revision digits rewritten in hexadecimal.
std::string KduFileLine(const KduFileInfo& info);
// Adds the entry's line and its facts to `list`.
void NoteKduFile(KduFileList& list, const KduFileInfo& info);

// Walks the directory from index 0 until the module reports its end.
KduFileList EnumerateKduFiles(const ModuleExports& exports, UsbDevice device,
                              uint32_t maxEntries = MaxKduDirectoryEntries);

}  // namespace kovrin
