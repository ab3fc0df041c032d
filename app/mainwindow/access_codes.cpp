#include "app/mainwindow/access_codes.h"

#include <array>
#include <utility>

namespace kovrin {

namespace {

const std::array<std::pair<const char*, AccessCode>, 3> Codes{{
    {"plovern", AccessCode::SerialEdit},
    {"DaxSupport", AccessCode::Administrator},
    {"PalCountZTR", AccessCode::AuditMenu},
}};

}  // namespace

AccessCode ClassifyAccessCode(const QString& code)
{
    for (const auto& [text, kind] : Codes)
        if (code == QLatin1String(text))
            return kind;
    return AccessCode::Other;
}

AccessCodeEffect EffectOfAccessCode(const QString& code, bool adminWarningAccepted)
{
    AccessCodeEffect e;
    switch (ClassifyAccessCode(code)) {
    case AccessCode::SerialEdit:
        e.SuperUserMode = 1;
        e.SerialEditable = true;
        e.AuditMenuAvailable = false;
        break;
    case AccessCode::Administrator:
        e.AuditMenuAvailable = false;  // also when the warning is refused
        if (!adminWarningAccepted) {
            e.CloseDialog = false;
            break;
        }
        e.SuperUserMode = 2;
        e.SerialEditable = true;
        e.ViewAuditShown = true;
        break;
    case AccessCode::AuditMenu:
        e.AuditMenuAvailable = true;
        break;
    case AccessCode::Other:
        e.SuperUserMode = 0;
        e.SerialEditable = false;
        e.AuditMenuAvailable = false;
        e.ViewAuditShown = false;
        break;
    }
    return e;
}

}  // namespace kovrin
