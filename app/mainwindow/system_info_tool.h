#pragma once
// Finding and starting the system-information tool that the About box offers.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;

namespace kovrin {

inline const char* SystemInfoUnavailableText = "System Information Is Unavailable At This Time";

// The two look-ups, in order, and the two actions; each can be replaced by tests.
struct SystemInfoTool {
    // First look-up: the tool's full path.
    std::function<std::optional<QString>()> ToolPath;
    // Second look-up: a folder that should hold the file `ToolFileName`.
    std::function<std::optional<QString>()> ToolFolder;
    QString ToolFileName;
    std::function<bool(const QString& path)> FileExists;
    // Starts the program detached; false when it cannot be started.
    std::function<bool(const QString& path)> Start;
};

// Programs looked for on the PATH, first found wins.
extern const QStringList SystemInfoPrograms;

// This system's answers: the first of SystemInfoPrograms on the PATH; else
// the standard program folder with "hardinfo" in it.
SystemInfoTool DefaultSystemInfoTool();

enum class SysInfoOutcome { StartedFromPath, StartedFromFolder, StartFailed, Unavailable };

// Starts the tool, or shows the unavailable message when none is found; a
// tool found that fails to start ends it without a message.
SysInfoOutcome StartSysInfo(QWidget* parent, const SystemInfoTool& tool);

}  // namespace kovrin
