#pragma once
// What differs from one acceptor variant to the next, one row per variant
// code. A new variant is a row here (and, when it has a new EEPROM layout,
// that layout's map); everything else reads the row.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace kovrin {

// The EEPROM layouts a variant can have.
enum class EepromLayout { None, V5, V6 };

// Which of the configuration screen's variant-dependent controls the
// identification shows.
enum class VariantControlRule {
    Unchanged,    // left as they are
    Always,       // chkBill_Hold and chkCCTalk shown
    ByVersion,    // chosen by the firmware version text
};

// Directory identifiers of the module's files for the two module variants.
constexpr uint32_t SarnelVariantId = 0x04000000;
constexpr uint32_t TekraVariantId = 0x08000000;

struct AcceptorVariantRow {
    const char* Name;            // shown for an identified acceptor
    // Shown for a loaded firmware image; null: an image carrying this code is
    // not recognised (it counts as variant 0).
    const char* ImageName;
    bool ImageAnalysed;          // a recognised image is packed into a block table
    uint8_t FrameAddress;        // byte 1 of the frames sent to it
    uint8_t ReplySerialLength;   // serial number characters in its identification
    uint8_t SoftwareTextWidth;   // software text characters of its identification in normal mode
    uint8_t CheckedSerialLength; // the longest serial number the configuration checks take
    EepromLayout Layout;
    VariantControlRule Controls;
    // The post-update stamp takes the day count from this image revision on;
    // null: always the calendar. Revisions compare as text.
    const char* StampDayCountFrom;
    // A module firmware file's date record takes the calendar below this
    // image revision; null: always the day count.
    const char* ModuleCalendarBefore;
    // The module takes its images under this identifier (and then shows its
    // serial number and revisions from a configuration); 0: not at all.
    uint32_t ModuleFirmwareId;
    uint32_t ModuleConfigId;     // its configuration file on a module
    const char* ModuleConfigFile;
    bool AuditInConfiguration;   // the audit window shows the counters of the configuration read
    bool AuditByCommand;         // the audit window asks the acceptor for its counters
    // Its screen has no MDB controls and its interface list no MDB entry; the
    // note-type check box shows instead.
    bool NoMdb;
};

constexpr int HighestVariant = 9;
// Codes 0 (no acceptor, or one not in the table) to HighestVariant; the table
// must have a row for each (the build checks it).
constexpr size_t VariantCount = HighestVariant + 1;

// Codes outside 1 to HighestVariant stand for no acceptor.
inline int KnownVariantOr0(int variant) { return variant >= 1 && variant <= HighestVariant ? variant : 0; }
// The row of a code; row 0 for any code outside the table.
const AcceptorVariantRow& VariantRow(int variant);
// The row whose image name is `imageName`; row 0 when none is.
const AcceptorVariantRow& VariantRowOfImageName(const std::string& imageName);

}  // namespace kovrin
