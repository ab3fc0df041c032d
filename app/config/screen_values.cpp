#include "app/config/screen_values.h"

#include <cmath>

#include "app/config/colours.h"
#include "app/config/eeprom_map.h"
#include "app/config/field_checks.h"
#include "app/core/acceptor_variants.h"
#include "app/core/hex_digits.h"
#include "app/settings/settings.h"

namespace kovrin {

namespace {

constexpr uint8_t CashboxFullBit = 0x80;  // OptionFlags
constexpr uint8_t AlwaysEnabledBit = 0x02;
constexpr uint8_t CcTalkEncryptionBit = 0x10;
constexpr uint8_t AduBit = 0x08;
constexpr uint8_t PullbackBits = 0x03;  // SignalFlags
constexpr uint8_t VendBit = 0x10;
constexpr uint8_t AlarmBit = 0x20;
constexpr uint8_t ActiveHighBit = 0x40;
constexpr uint8_t BillHoldBit = 0x80;
// The bits some control shows; the read-back leaves every other bit 0.
constexpr uint8_t OptionControlBits = CashboxFullBit | AlwaysEnabledBit | CcTalkEncryptionBit | AduBit;
constexpr uint8_t SignalControlBits = PullbackBits | AlarmBit | VendBit | ActiveHighBit | BillHoldBit;

std::string NibbleText(uint8_t nibble) { return std::to_string(nibble); }

// The number of `text`, rounded to a whole one (halves to the even number),
// when that fits [lo, hi]; else an error naming the field.
template <typename T>
bool Convert(const std::string& text, int64_t lo, int64_t hi, T& out, const char* field, std::string& error)
{
    const std::optional<double> v = NumericValue(text);
    const double whole = v ? std::nearbyint(*v) : 0;
    if (!v || whole < double(lo) || whole > double(hi)) {
        error = std::string("The configuration was not stored: the ") + field + " value \"" + text +
                "\" is not valid.";
        return false;
    }
    out = static_cast<T>(whole);
    return true;
}

bool IsDigits(const std::string& text, size_t count)
{
    if (text.size() != count)
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

}  // namespace

bool ChannelBit(const std::array<uint8_t, 3>& mask, int channel)
{
    return (mask[size_t(2 - channel / 8)] >> (channel % 8)) & 1;
}

void SetChannelBit(std::array<uint8_t, 3>& mask, int channel, bool set)
{
    const auto bit = static_cast<uint8_t>(1u << (channel % 8));
    uint8_t& byte = mask[size_t(2 - channel / 8)];
    byte = set ? uint8_t(byte | bit) : uint8_t(byte & ~bit);
}

uint8_t OptionFlagsOnScreen(const HiddenControls& hidden)
{
    uint8_t bits = CashboxFullBit | AlwaysEnabledBit;
    if (!hidden.chkCCTalk)
        bits |= CcTalkEncryptionBit;
    if (!hidden.chkADU)
        bits |= AduBit;
    return bits;
}

uint8_t SignalFlagsOnScreen(const HiddenControls& hidden)
{
    uint8_t bits = PullbackBits | AlarmBit | VendBit | ActiveHighBit;
    if (!hidden.chkBill_Hold)
        bits |= BillHoldBit;
    return bits;
}

void ApplyVariantVisibility(HiddenControls& hidden, int variant)
{
    const bool sarnel = VariantRow(variant).NoMdb;
    hidden.chkADU = sarnel;
    hidden.txtMDBISO = sarnel;
    hidden.frmMDB = sarnel;
    hidden.Frame8 = sarnel;
    hidden.chkNoteType = !sarnel;
}

void RecordToScreen(const EepromRecord& r, ConfigScreenValues& s)
{
    s.lstInterface.SelectCodeOrFirst(r.InterfaceType);
    for (int i = 0; i < 24; ++i) {
        s.SecurityHigh[size_t(i)] = ChannelBit(r.SecurityMask, i);
        s.chkEnDis[size_t(i)] = ChannelBit(r.ChannelEnableMask, i);
    }
    s.lstPulse.SelectCodeOrFirst(r.PulsesPerUnit);
    s.txtMDBISO = NibbleText(r.IsoCode[0] >> 4) + NibbleText(r.IsoCode[0] & 0x0F) + NibbleText(r.IsoCode[1] >> 4) +
                  NibbleText(r.IsoCode[1] & 0x0F);
    s.txtScaling = std::to_string(r.ScalingFactor);
    s.txtDecimal = std::to_string(r.DecimalPlaces);
    s.chkADU = r.OptionFlags & AduBit;
    s.chkCCTalk = r.OptionFlags & CcTalkEncryptionBit;
    s.chkBill_Hold = r.SignalFlags & BillHoldBit;
    s.lstEnable.selected = (r.OptionFlags & AlwaysEnabledBit) ? 0 : (r.SignalFlags & ActiveHighBit) ? 2 : 1;
    s.lstVent.SelectCodeOrFirst(r.SignalFlags & VendBit);
    s.lstAlarmSignal.SelectCodeOrFirst(r.SignalFlags & AlarmBit);
    s.chkExit = r.OptionFlags & CashboxFullBit;
    s.chkNoteType = r.CcTalkFlag != 0;
    s.lstPullbackdetection.SelectCodeOrFirst(r.SignalFlags & PullbackBits);
    s.txtPulseON = std::to_string(r.PulseOnTime);
    s.txtPulseOFF = std::to_string(r.PulseOffTime);
    s.txtEscrowTime = std::to_string(r.EscrowTime);
    s.txtCCAddress = std::to_string(r.CcTalkAddress);
    const auto& e = r.CcTalkEncryptionCode;
    s.txtCCEncry = NibbleText(e[2] & 0x0F) + NibbleText(e[2] >> 4) + NibbleText(e[1] & 0x0F) + NibbleText(e[1] >> 4) +
                   NibbleText(e[0] & 0x0F) + NibbleText(e[0] >> 4);
    for (size_t i = 0; i < 24; ++i) {
        s.TextPulse[i] = std::to_string(r.ChannelPulseAssignment[i]);
        s.txtVend[i] = std::to_string(r.ChannelVendAssignment[i]);
    }
    for (size_t i = 0; i < 16; ++i)
        s.TextMDB[i] = std::to_string(r.MdbChannelValue[i]);
}

ScreenReadResult ScreenToRecord(ConfigScreenValues& s, const EepromRecord& old, int variant, std::string& serialText)
{
    EepromRecord r = old;  // stored only when every field converted
    std::string error;
    const HiddenControls& h = s.hidden;

    s.lstInterface.SelectFirstIfNone();
    r.InterfaceType = static_cast<uint8_t>(s.lstInterface.SelectedCode());

    if (!h.Frame8) {
        r.SecurityMask = {};
        for (int i = 23; i >= 0; --i)
            SetChannelBit(r.SecurityMask, i, s.SecurityHigh[size_t(i)]);
    }
    r.ChannelEnableMask = {};
    for (int i = 23; i >= 0; --i)
        SetChannelBit(r.ChannelEnableMask, i, s.chkEnDis[size_t(i)]);

    s.lstPulse.SelectFirstIfNone();
    r.PulsesPerUnit = static_cast<uint8_t>(s.lstPulse.SelectedCode());

    if (!h.txtMDBISO) {
        if (!IsDigits(s.txtMDBISO, 4))
            return {std::nullopt, "The configuration was not stored: the IDD/ISO code \"" + s.txtMDBISO +
                                      "\" is not four digits."};
        std::string first = s.txtMDBISO.substr(0, 2), last = s.txtMDBISO.substr(2, 2);
        r.IsoCode[0] = static_cast<uint8_t>(DecToBcd(first));
        r.IsoCode[1] = static_cast<uint8_t>(DecToBcd(last));
    }

    // A fraction below a half would store the scaling factor 0 that the checks refuse.
    if (!Convert(s.txtScaling, 1, 65535, r.ScalingFactor, "Scaling Factor", error) ||
        !Convert(s.txtDecimal, 0, 255, r.DecimalPlaces, "Decimal Place", error))
        return {std::nullopt, error};

    const std::string enable = s.lstEnable.DisplayedText();
    const uint8_t alwaysEnabled = enable == "Always Enabled" ? AlwaysEnabledBit : 0;
    const uint8_t activeHigh = enable == "Active High Enabled" ? ActiveHighBit : 0;
    const uint8_t vend = s.lstVent.DisplayedText() == "Active High" ? VendBit : 0;
    const uint8_t alarm = s.lstAlarmSignal.DisplayedText() == "Active High" ? AlarmBit : 0;

    const bool noMdb = VariantRow(variant).NoMdb;
    s.hidden.chkNoteType = !noMdb;
    if (noMdb)
        r.CcTalkFlag = s.chkNoteType ? 1 : 0;

    const uint8_t optionOnScreen = OptionFlagsOnScreen(h);
    const uint8_t optionBits = (s.chkExit ? CashboxFullBit : 0) | alwaysEnabled |
                               (s.chkCCTalk ? CcTalkEncryptionBit : 0) | (s.chkADU ? AduBit : 0);
    // A hidden control's bit keeps the record's value, as the hidden control shows it.
    r.OptionFlags = static_cast<uint8_t>((old.OptionFlags & OptionControlBits & ~optionOnScreen) |
                                         (optionBits & optionOnScreen));

    s.lstPullbackdetection.SelectFirstIfNone();
    const uint8_t signalOnScreen = SignalFlagsOnScreen(h);
    const uint8_t signalBits = static_cast<uint8_t>(s.lstPullbackdetection.SelectedCode() & PullbackBits) | alarm |
                               vend | activeHigh | (s.chkBill_Hold ? BillHoldBit : 0);
    r.SignalFlags = static_cast<uint8_t>((old.SignalFlags & SignalControlBits & ~signalOnScreen) |
                                         (signalBits & signalOnScreen));

    if (!Convert(s.txtPulseON, 0, 255, r.PulseOnTime, "Pulse Rate", error) ||
        !Convert(s.txtPulseOFF, 0, 255, r.PulseOffTime, "Pulse Rate", error) ||
        (!h.frmEscrowTime && !Convert(s.txtEscrowTime, 0, 255, r.EscrowTime, "Escrow Time", error)) ||
        !Convert(s.txtCCAddress, 0, 255, r.CcTalkAddress, "ccTalk device address", error))
        return {std::nullopt, error};

    if (!IsDigits(s.txtCCEncry, 6))
        return {std::nullopt, "The configuration was not stored: the encryption code is not six digits."};
    const auto d = [&](int k) { return uint8_t(s.txtCCEncry[size_t(k - 1)] - '0'); };
    r.CcTalkEncryptionCode = {uint8_t(d(6) * 16 + d(5)), uint8_t(d(4) * 16 + d(3)), uint8_t(d(2) * 16 + d(1))};

    if (s.lblCSerial.size() >= 10) {
        if (serialText.empty()) {
            s.txtSerial = s.lblCSerial;
            serialText = s.lblCSerial;
        }
        // Characters 3 to 10 are the ccTalk serial number; its three bytes keep the low 24 bits.
        std::string digits = serialText.size() > 2 ? serialText.substr(2, 8) : std::string();
        digits.erase(0, std::min(digits.find_first_not_of(' '), digits.size()));
        digits.erase(digits.find_last_not_of(' ') + 1);
        if (!IsDigits(digits, digits.size()) || digits.empty())
            return {std::nullopt, "The configuration was not stored: characters 3 to 10 of the serial number \"" +
                                      serialText + "\" must be digits, as the ccTalk serial number is made of them."};
        const long n = std::stol(digits);
        r.CcTalkSerialNumber = {uint8_t(n % 256), uint8_t((n / 256) % 256), uint8_t((n / 65536) % 256)};
    }
    for (size_t k = 0; k < serialText.size() && k < r.SerialNumber.size(); ++k)
        r.SerialNumber[k] = static_cast<uint8_t>(serialText[k]);

    const int32_t pulseMax = PulseAssignmentMax(old.VariantCode);
    for (size_t i = 0; i < 24; ++i) {
        if (s.TextPulse[i].empty())
            s.TextPulse[i] = "0";
        if (!Convert(s.TextPulse[i], 0, pulseMax, r.ChannelPulseAssignment[i], "Pulse assignment", error))
            return {std::nullopt, error};
    }
    for (size_t i = 0; i < 24; ++i) {
        if (s.txtVend[i].empty())
            s.txtVend[i] = "0";
        if (!Convert(s.txtVend[i], 0, 255, r.ChannelVendAssignment[i], "Channel", error))
            return {std::nullopt, error};
    }
    if (!h.frmMDB) {
        for (size_t i = 0; i < 16; ++i) {
            if (s.TextMDB[i].empty())
                s.TextMDB[i] = "0";
            if (!Convert(s.TextMDB[i], 0, 255, r.MdbChannelValue[i], "MDB Base", error))
                return {std::nullopt, error};
        }
    }
    return {r, {}};
}

bool EncryptionCodeMasked(const std::string& text)
{
    return TextLength(text) == 6 && text != DefaultEncryptionCode;
}

StatusLine StatusLineFor(int32_t source, const std::string& configFilePath)
{
    switch (source) {
    case ConfigFromDefaults:
        return {ColourRed, "Warning!  Application default configuration settings loaded."};
    case ConfigFromFile:
        return {ColourYellow, "Configuration settings loaded from file " + FileNameFromPath(configFilePath) + "."};
    case ConfigFromFactory:
        return {ColourYellow, "Factory default configuration settings from note acceptor loaded."};
    case ConfigFromAcceptor:
        return {ColourGreen, "Current attached note acceptor configuration settings loaded."};
    default:
        return {ColourRed, "Warning!  No configuration loaded."};
    }
}

bool RemoveMdbEntryForVariant(OptionListValue& interfaces, int variant)
{
    if (!VariantRow(variant).NoMdb || interfaces.entries.size() <= 4 || interfaces.entries[4].code != 4)
        return false;
    interfaces.entries.erase(interfaces.entries.begin() + 4);
    if (interfaces.selected == 4)
        interfaces.selected = -1;
    else if (interfaces.selected > 4)
        --interfaces.selected;
    return true;
}

std::string NoLayoutText(int variant)
{
    if (DefaultsLayoutOfVariant(variant) != EepromLayout::None)
        return {};
    return "This note acceptor (variant " + std::to_string(variant) +
           ") has no configuration memory layout: its configuration cannot be read, written or reset.";
}

size_t TextLength(const std::string& text)
{
    size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80)
            ++n;
    return n;
}

}  // namespace kovrin
