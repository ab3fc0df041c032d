#include "app/main/start_up.h"

#include "app/config/eeprom_map.h"
#include "app/link/flash_inhibit.h"
#include "app/settings/program_settings.h"
#include "app/settings/settings.h"

namespace kovrin {

std::unique_ptr<FormMain> Main()
{
    LoadSettings();
    auto form = std::make_unique<FormMain>();
    form->ComPort = ComPortFromSetting(SettingsComPort);
    LoadEepromDefaults(CurrentRecord);
    form->FlashInhibit |= InhibitNoFirmwareFile;
    form->HexFileLoaded = false;
    form->Form_Load();
    return form;
}

}  // namespace kovrin
