#pragma once
// What the configuration screen shows, as plain values, and the conversions
// between it and an EepromRecord. The frame only binds widgets to this.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "app/config/eeprom_record.h"
#include "app/config/option_lists.h"

namespace kovrin {

// Controls that can be hidden; a hidden control is neither checked nor read
// back, so the record keeps its value.
struct HiddenControls {
    bool chkADU = false;
    bool txtMDBISO = false;
    bool frmMDB = false;         // TextMDB
    bool Frame8 = false;         // the security buttons
    bool frmEscrowTime = false;  // txtEscrowTime
    bool chkBill_Hold = false;
    bool chkCCTalk = false;
    bool chkNoteType = false;
    bool txtSerial = true;       // editable only in the service user modes
    bool operator==(const HiddenControls&) const = default;
};

struct ConfigScreenValues {
    OptionListValue lstInterface = OptionListValue::Of(InterfaceOptions());
    OptionListValue lstEnable = OptionListValue::Of(EnableOptions());
    OptionListValue lstPulse = OptionListValue::Of(PulseOptions());
    OptionListValue lstAlarmSignal = OptionListValue::Of(AlarmSignalOptions());
    OptionListValue lstPullbackdetection = OptionListValue::Of(PullbackDetectionOptions());
    OptionListValue lstVent = OptionListValue::Of(VentOptions());

    std::array<bool, 24> SecurityHigh{};  // cmdButtonSecurity caption "H"
    std::array<bool, 24> chkEnDis{};
    std::array<std::string, 24> TextPulse;
    std::array<std::string, 24> txtVend;
    std::array<std::string, 16> TextMDB;

    std::string txtMDBISO, txtScaling, txtDecimal;
    std::string txtCCAddress, txtCCEncry;
    std::string txtPulseON, txtPulseOFF, txtEscrowTime;
    std::string txtSerial, lblCSerial;

    bool chkADU = false, chkCCTalk = false, chkBill_Hold = false, chkExit = false, chkNoteType = false;

    HiddenControls hidden;
};

// Channel i is bit i Mod 8 of mask byte 2 - i \ 8.
bool ChannelBit(const std::array<uint8_t, 3>& mask, int channel);
void SetChannelBit(std::array<uint8_t, 3>& mask, int channel, bool set);

// Option bits that the screen shows (and so rebuilds) with these controls hidden.
uint8_t OptionFlagsOnScreen(const HiddenControls& hidden);
uint8_t SignalFlagsOnScreen(const HiddenControls& hidden);

// What the variant hides of the frame (variant 5: the ADU box, the ISO code,
// the MDB values and the security buttons; chkNoteType for any variant but 5).
void ApplyVariantVisibility(HiddenControls& hidden, int variant);

// Fills the screen values from the record; selections by code, as shown.
void RecordToScreen(const EepromRecord& record, ConfigScreenValues& screen);

struct ScreenReadResult {
    std::optional<EepromRecord> record;  // the record to store, when complete
    std::string error;                   // why not, otherwise
};

// The record with the screen's fields written over `old`; everything the
// screen does not show, hidden controls included, keeps its value. May set
// selections, empty channel texts and txtSerial on the screen, as the
// read-back does; `serialText` is the state's SerialNumberText.
ScreenReadResult ScreenToRecord(ConfigScreenValues& screen, const EepromRecord& old, int variant,
                                std::string& serialText);

// The masking rule of the encryption code: six characters that are not the default.
inline constexpr const char* DefaultEncryptionCode = "507913";
bool EncryptionCodeMasked(const std::string& text);

struct StatusLine {
    int32_t colour;  // 0x00BBGGRR
    std::string text;
};
StatusLine StatusLineFor(int32_t source, const std::string& configFilePath);

// The interface list loses "MDB (NAMA)" for the Sarnel variant, once: true when
// the entry was removed now.
bool RemoveMdbEntryForVariant(OptionListValue& interfaces, int variant);

// Why a variant's configuration cannot be read, written or reset, for one
// without a layout; empty when it has one (0, no acceptor, uses the defaults).
std::string NoLayoutText(int variant);

// Counts characters of UTF-8 text.
size_t TextLength(const std::string& text);

}  // namespace kovrin
