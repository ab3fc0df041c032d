#include "start_up.h"

#include <QSocketNotifier>

#include "eeprom_map.h"
#include "flash_inhibit.h"
#include "module_main.h"
#include "platform/user/message_queue.h"
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
    // The USB library's device notices wait in this thread's message queue; the
    // window's event loop hands them on.
    auto* usbNotices =
        new QSocketNotifier(platform::user::ThreadMessageDescriptor(), QSocketNotifier::Read, form.get());
    QObject::connect(usbNotices, &QSocketNotifier::activated, [] { platform::user::DispatchThreadMessages(); });
    form->Form_Load();
    return form;
}

}  // namespace kovrin
