#include "app/main/start_up.h"

#include <QSocketNotifier>

#include "app/config/eeprom_map.h"
#include "app/link/flash_inhibit.h"
#include "app/main/module_main.h"
#include "app/main/settings.h"
#include "platform/user/message_queue.h"

namespace kovrin {

std::unique_ptr<FormMain> Main()
{
    LoadSettings();
    auto form = std::make_unique<FormMain>();
    form->ComPort = ComPortFromSetting(SettingsComPort);
    LoadEepromDefaults(CurrentRecord);
    form->FlashInhibit |= InhibitNoFirmwareFile;
    form->HexFileLoaded = False;
    // The USB library's device notices wait in this thread's message queue; the
    // window's event loop hands them on.
    auto* usbNotices =
        new QSocketNotifier(platform::user::ThreadMessageDescriptor(), QSocketNotifier::Read, form.get());
    QObject::connect(usbNotices, &QSocketNotifier::activated, [] { platform::user::DispatchThreadMessages(); });
    form->Form_Load();
    return form;
}

}  // namespace kovrin
