#include "platform/usb/descriptors.h"

#include <algorithm>

namespace kovrin::platform::usb {

namespace {

// Walks descriptors in [begin, end); calls visit(descriptor) until it returns true.
template <typename Visit>
const uint8_t* Walk(const uint8_t* begin, const uint8_t* end, Visit visit)
{
    const uint8_t* at = begin;
    while (end - at >= 2) {
        uint8_t length = at[0];
        if (length < 2 || length > end - at)
            return nullptr;  // malformed: stop
        if (visit(at))
            return at;
        at += length;
    }
    return nullptr;
}

const uint8_t* EndOf(const UsbConfigurationDescriptor* configuration, size_t length)
{
    size_t total = std::min<size_t>(length, configuration->wTotalLength);
    return reinterpret_cast<const uint8_t*>(configuration) + total;
}

}  // namespace

const UsbInterfaceDescriptor* FindFirstInterfaceDescriptor(const UsbConfigurationDescriptor* configuration,
                                                           size_t length)
{
    if (length < sizeof(UsbConfigurationDescriptor))
        return nullptr;
    auto* begin = reinterpret_cast<const uint8_t*>(configuration);
    const uint8_t* end = EndOf(configuration, length);
    const uint8_t* found = Walk(begin, end, [&](const uint8_t* d) {
        return d[1] == DescriptorTypeInterface && d[0] >= sizeof(UsbInterfaceDescriptor) &&
               end - d >= ptrdiff_t(sizeof(UsbInterfaceDescriptor));
    });
    return reinterpret_cast<const UsbInterfaceDescriptor*>(found);
}

size_t FindEndpointDescriptors(const UsbConfigurationDescriptor* configuration, size_t length,
                               const UsbInterfaceDescriptor* interface, const UsbEndpointDescriptor** endpoints,
                               size_t capacity)
{
    auto* begin = reinterpret_cast<const uint8_t*>(interface) + interface->bLength;
    const uint8_t* end = EndOf(configuration, length);
    size_t count = 0;
    Walk(begin, end, [&](const uint8_t* d) {
        if (d[1] == DescriptorTypeInterface)
            return true;  // the next interface: stop
        if (d[1] == DescriptorTypeEndpoint && d[0] >= sizeof(UsbEndpointDescriptor)) {
            if (count < capacity)
                endpoints[count] = reinterpret_cast<const UsbEndpointDescriptor*>(d);
            ++count;
        }
        return false;
    });
    return count;
}

}  // namespace kovrin::platform::usb
