#pragma once
// The configuration screen's option lists and the field rules of the interface
// list, as data.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kovrin {

struct OptionEntry {
    const char* text;
    int32_t code;
};

// Entries in display order; the index of an entry is its position.
std::span<const OptionEntry> InterfaceOptions();
std::span<const OptionEntry> EnableOptions();
std::span<const OptionEntry> PulseOptions();
std::span<const OptionEntry> AlarmSignalOptions();
std::span<const OptionEntry> PullbackDetectionOptions();
std::span<const OptionEntry> VentOptions();

// Shown by a list that has no selected entry.
inline constexpr const char* PleaseSelect = "Please Select";

// One list on the screen: its entries (the interface list can lose one) and
// the selected index, -1 for none.
struct OptionListValue {
    std::vector<OptionEntry> entries;
    int selected = -1;

    static OptionListValue Of(std::span<const OptionEntry> table);
    std::string DisplayedText() const;
    int32_t SelectedCode() const;  // 0 without a selection
    int IndexOfCode(int32_t code) const;  // -1 when no entry has it
    void SelectCodeOrFirst(int32_t code);
    void SelectFirstIfNone();
};

// Enabled state of every control group that the interface rules switch.
struct FieldRule {
    const char* text;  // nullptr: the row for any other text
    bool txtVend, TextPulse, TextMDB, txtMDBISO, ScalingDecimal, AlarmEnable, PulseVent, chkADU, CcTalk,
        PulseTiming, txtEscrowTime;
    bool operator==(const FieldRule&) const = default;
};

std::span<const FieldRule> FieldRules();
// First row whose text is `displayedText` (whole, case-sensitive), else the last.
const FieldRule& FieldRuleFor(const std::string& displayedText);

}  // namespace kovrin
