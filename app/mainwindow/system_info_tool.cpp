#include "app/mainwindow/system_info_tool.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "app/widgets/message_seam.h"

namespace kovrin {

const QStringList SystemInfoPrograms{"hardinfo", "hardinfo2", "gnome-system-monitor", "kinfocenter", "lshw-gtk"};

namespace {

// Where Debian installs these programs, for a PATH that lacks it.
constexpr const char* StandardProgramFolder = "/usr/bin";

}  // namespace

SystemInfoTool DefaultSystemInfoTool()
{
    SystemInfoTool tool;
    tool.ToolPath = []() -> std::optional<QString> {
        for (const QString& name : SystemInfoPrograms)
            if (QString path = QStandardPaths::findExecutable(name); !path.isEmpty())
                return path;
        return std::nullopt;
    };
    tool.ToolFolder = []() -> std::optional<QString> {
        if (QFileInfo(StandardProgramFolder).isDir())
            return QString(StandardProgramFolder);
        return std::nullopt;
    };
    tool.ToolFileName = "hardinfo";
    tool.FileExists = [](const QString& path) { return QFileInfo(path).isFile(); };
    tool.Start = [](const QString& path) { return QProcess::startDetached(path, {}); };
    return tool;
}

SysInfoOutcome StartSysInfo(QWidget* parent, const SystemInfoTool& tool)
{
    if (const auto path = tool.ToolPath())
        return tool.Start(*path) ? SysInfoOutcome::StartedFromPath : SysInfoOutcome::StartFailed;
    if (const auto folder = tool.ToolFolder()) {
        const QString file = QDir(*folder).filePath(tool.ToolFileName);
        if (tool.FileExists(file))
            return tool.Start(file) ? SysInfoOutcome::StartedFromFolder : SysInfoOutcome::StartFailed;
    }
    MsgBox(parent, SystemInfoUnavailableText, MsgButtons::Ok);
    return SysInfoOutcome::Unavailable;
}

}  // namespace kovrin
