#pragma once
// What every main-window test starts from: a program folder of its own and
// the program's shared state as a fresh start finds it.

#include <QCoreApplication>
#include <QDir>
#include <QString>

#include "app/config/eeprom_map.h"
#include "app/settings/program_folder.h"
#include "app/settings/program_settings.h"

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

// The records, the configuration's source and the settings file as before any start.
inline void ResetProgramState()
{
    CurrentRecord = FactoryRecord = EepromRecord{};
    ConfigSource = ConfigFromDefaults;
    FactoryConfigValid = false;
    AcceptorVariant = 0;
    SettingsFilePath.clear();
}

}  // namespace kovrin::test
