#pragma once
// Device interfaces as drivers see them.

#include "platform/kernel/guid.h"
#include "platform/kernel/objects.h"

namespace kovrin::platform {

// Registers an interface of class `guid` on the physical device; the link name
// is allocated for the caller, who frees it with FreeUnicodeString.
Status RegisterDeviceInterface(DeviceObject* physicalDevice, const Guid* guid, const UnicodeString* referenceString,
                               UnicodeString* symbolicLinkName);
// Enabling announces the interface once its device has started; disabling
// announces its removal.
Status SetDeviceInterfaceState(const UnicodeString* symbolicLinkName, bool enable);
void FreeUnicodeString(UnicodeString* string);

}  // namespace kovrin::platform
