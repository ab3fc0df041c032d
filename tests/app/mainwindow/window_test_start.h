#pragma once
// What every main-window test starts from: a program folder of its own.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>

#include "app/settings/program_folder.h"

namespace kovrin::test {

// Makes an empty folder unique to this process and test, and makes it the program folder.
inline QString NewProgramFolder(const char* kind)
{
    static int n = 0;
    const QString dir =
        QDir::tempPath() + QString("/kovrin-%1-%2-%3").arg(kind).arg(QCoreApplication::applicationPid()).arg(++n);
    QDir().mkpath(dir);
    SetProgramFolderForTesting(dir);
    return dir;
}

// A pseudo-terminal that nothing answers, for a COM entry that a test opens without an
// acceptor. Without a link, COM 1 is the machine's /dev/ttyS0, which another test or
// program may hold at the same moment; the port would then not open.
class SilentPort {
public:
    SilentPort()
    {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && (grantpt(master_) != 0 || unlockpt(master_) != 0)) {
            close(master_);
            master_ = -1;
        }
    }
    ~SilentPort()
    {
        if (master_ >= 0)
            close(master_);
    }
    SilentPort(const SilentPort&) = delete;
    SilentPort& operator=(const SilentPort&) = delete;

    // Makes the link (e.g. the program folder's "COM1") name this port.
    bool LinkAs(const QString& link) const
    {
        return master_ >= 0 && QFile::link(QString::fromLocal8Bit(ptsname(master_)), link);
    }

private:
    int master_ = -1;
};

}  // namespace kovrin::test
