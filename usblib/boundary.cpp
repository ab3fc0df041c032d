#include "usblib/boundary.h"

#include <new>

namespace kovrin::usblib {

UsbResult ResultOfException() noexcept
{
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return USB_RESULT_BAD_ARGUMENT;
    } catch (...) {
        return USB_RESULT_LINK_FAILED;
    }
}

}  // namespace kovrin::usblib
