#include "app/settings/program_folder.h"

#include <QCoreApplication>

namespace kovrin {

namespace {
QString& Override()
{
    static QString folder;
    return folder;
}
}  // namespace

QString ProgramFolder()
{
    return Override().isEmpty() ? QCoreApplication::applicationDirPath() : Override();
}

void SetProgramFolderForTesting(const QString& folder)
{
    Override() = folder;
}

}  // namespace kovrin
