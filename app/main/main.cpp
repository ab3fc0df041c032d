#include <QApplication>

#include "app/version.h"
#include "eeprom_map.h"
#include "form_main.h"
#include "module_main.h"
#include "settings.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setApplicationName("Kovrin");
    app.setApplicationVersion(kovrin::KovrinVersion);

    kovrin::LoadSettings();
    kovrin::FormMain form;
    form.ComPort = kovrin::ComPortFromSetting(kovrin::SettingsComPort);
    kovrin::LoadEepromDefaults(kovrin::CurrentRecord);
    form.FlashInhibit |= 0x01;
    form.HexFileLoaded = kovrin::False;
    form.Form_Load();
    form.showMaximized();  // laid out for a whole screen; smaller screens scroll
    return app.exec();
}
