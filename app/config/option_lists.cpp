#include "app/config/option_lists.h"

#include <array>

namespace kovrin {

namespace {

constexpr std::array kInterface{
    OptionEntry{"Pulse", 0},
    OptionEntry{"Parallel", 1},
    OptionEntry{"Serial 600 (NISR)", 2},
    OptionEntry{"RS232 / USB", 3},
    OptionEntry{"MDB (NAMA)", 4},
    OptionEntry{"Parallel, Binary", 5},
    OptionEntry{"Single Price", 6},
    OptionEntry{"ccTalk", 7},
    OptionEntry{"ICT002", 8},
    OptionEntry{"IMC01", 9},
};

// Shown by position and read back by text, so two entries share code 0.
constexpr std::array kEnable{
    OptionEntry{"Always Enabled", 2},
    OptionEntry{"Active Low Enabled", 0},
    OptionEntry{"Active High Enabled", 0},
};

constexpr std::array kPulse{
    OptionEntry{"One pulse", 1},
    OptionEntry{"Two pulses", 2},
    OptionEntry{"Four pulses", 4},
    OptionEntry{"Ten pulses", 10},
};

constexpr std::array kAlarm{
    OptionEntry{"Active Low", 0},
    OptionEntry{"Active High", 32},
};

constexpr std::array kPullback{
    OptionEntry{"MED Security", 2},
    OptionEntry{"HIGH Security", 3},
    OptionEntry{"OFF", 0},
    OptionEntry{"LOW Security", 1},
};

constexpr std::array kVent{
    OptionEntry{"Active Low", 0},
    OptionEntry{"Active High", 16},
};

constexpr bool on = true, off = false;

// vend, pulse, MDB, ISO, scaling/decimal, alarm/enable, pulse/vent, ADU, ccTalk, pulse timing, escrow
constexpr std::array kRules{
    FieldRule{"MDB (NAMA)", on, off, on, on, on, off, off, on, off, off, on},
    FieldRule{"RS232 / USB", on, off, off, off, on, off, off, off, off, off, on},
    FieldRule{"Serial 600 (NISR)", on, off, off, off, on, on, off, off, off, off, on},
    FieldRule{"Pulse", on, on, off, off, off, on, on, off, off, on, off},
    FieldRule{"Single Price", on, off, off, off, off, on, on, off, off, off, on},
    FieldRule{"Parallel", on, off, off, off, off, on, on, off, off, off, on},
    FieldRule{"Parallel, Binary", on, off, off, off, off, on, on, off, off, off, on},
    FieldRule{"ccTalk", on, off, off, off, on, off, off, off, on, off, on},
    FieldRule{"ICT002", on, off, off, off, on, off, off, off, off, off, on},
    FieldRule{nullptr, on, on, on, on, on, on, on, on, on, on, on},
};

}  // namespace

std::span<const OptionEntry> InterfaceOptions() { return kInterface; }
std::span<const OptionEntry> EnableOptions() { return kEnable; }
std::span<const OptionEntry> PulseOptions() { return kPulse; }
std::span<const OptionEntry> AlarmSignalOptions() { return kAlarm; }
std::span<const OptionEntry> PullbackDetectionOptions() { return kPullback; }
std::span<const OptionEntry> VentOptions() { return kVent; }

OptionListValue OptionListValue::Of(std::span<const OptionEntry> table)
{
    return {std::vector<OptionEntry>(table.begin(), table.end()), -1};
}

std::string OptionListValue::DisplayedText() const
{
    if (selected < 0 || selected >= int(entries.size()))
        return PleaseSelect;
    return entries[size_t(selected)].text;
}

int32_t OptionListValue::SelectedCode() const
{
    if (selected < 0 || selected >= int(entries.size()))
        return 0;
    return entries[size_t(selected)].code;
}

int OptionListValue::IndexOfCode(int32_t code) const
{
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].code == code)
            return int(i);
    return -1;
}

void OptionListValue::SelectCodeOrFirst(int32_t code)
{
    const int i = IndexOfCode(code);
    selected = i >= 0 ? i : (entries.empty() ? -1 : 0);
}

void OptionListValue::SelectFirstIfNone()
{
    if ((selected < 0 || selected >= int(entries.size())) && !entries.empty())
        selected = 0;
}

std::span<const FieldRule> FieldRules() { return kRules; }

const FieldRule& FieldRuleFor(const std::string& displayedText)
{
    for (const FieldRule& rule : kRules)
        if (rule.text && displayedText == rule.text)
            return rule;
    return kRules.back();
}

}  // namespace kovrin
