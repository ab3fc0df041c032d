#include "start_up.h"

#include "eeprom_map.h"
#include "flash_inhibit.h"
#include "module_main.h"
#include "settings.h"

namespace kovrin {

std::unique_ptr<FormMain> Main()
{
    LoadSettings();
    auto form = std::make_unique<FormMain>();
    form->ComPort = ComPortFromSetting(SettingsComPort);
    LoadEepromDefaults(CurrentRecord);
    form->FlashInhibit |= InhibitNoFirmwareFile;
    form->HexFileLoaded = False;
    form->Form_Load();
    return form;
}

}  // namespace kovrin
