#include "app/main/start_up.h"

#include "app/config/program_state.h"
#include "app/link/flash_inhibit.h"
#include "app/settings/program_settings.h"
#include "app/settings/settings.h"

namespace kovrin {

std::unique_ptr<FormMain> Main()
{
    ProgramState state;
    LoadSettings(state.Settings);
    state.LoadEepromDefaults(state.CurrentRecord);
    auto form = std::make_unique<FormMain>(std::move(state));
    form->ComPort = ComPortFromSetting(form->State.Settings.SettingsComPort);
    form->FlashInhibit |= InhibitNoFirmwareFile;
    form->HexFileLoaded = false;
    form->Form_Load();
    return form;
}

}  // namespace kovrin
