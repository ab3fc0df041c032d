// Writes the program's window icon, as drawn by the program, into PNG files
// for the desktop's icon theme: FOLDER/NxN/apps/kovrin.png for each size.

#include <QDir>
#include <QGuiApplication>
#include <QIcon>
#include <cstdio>

#include "app/widgets/pictures.h"

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: program-icon-files FOLDER\n");
        return 2;
    }
    const QIcon icon = kovrin::ProgramIcon();
    for (const QSize& size : icon.availableSizes()) {
        const QString folder = QString("%1/%2x%3/apps").arg(argv[1]).arg(size.width()).arg(size.height());
        if (!QDir().mkpath(folder) || !icon.pixmap(size).save(folder + "/kovrin.png", "PNG")) {
            std::fprintf(stderr, "program-icon-files: cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
