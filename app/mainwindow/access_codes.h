#pragma once
// The three fixed access codes and what each does to the main window.

#include <QString>
#include <cstdint>
#include <optional>

namespace kovrin {

enum class AccessCode {
    SerialEdit,     // "plovern": mode 1
    Administrator,  // "DaxSupport": mode 2, after the warning
    AuditMenu,      // "PalCountZTR": the audit menu, mode unchanged
    Other,          // anything else: mode 0
};

// Exact comparison: case-sensitive, whole text, no trimming.
AccessCode ClassifyAccessCode(const QString& code);

// What entering a code changes; nothing in an optional means unchanged.
struct AccessCodeEffect {
    std::optional<int32_t> SuperUserMode;
    // true: txtSerial shown and filled from lblCSerial, lblCSerial hidden;
    // false: txtSerial hidden, lblCSerial shown.
    std::optional<bool> SerialEditable;
    std::optional<bool> AuditMenuAvailable;  // mnuAudit
    std::optional<bool> ViewAuditShown;      // cmdViewAudit
    bool CloseDialog = true;                 // false: the access-code dialog stays open

    bool operator==(const AccessCodeEffect&) const = default;
};

// `adminWarningAccepted` is the warning's answer, read only for the administrator code.
AccessCodeEffect EffectOfAccessCode(const QString& code, bool adminWarningAccepted);

}  // namespace kovrin
