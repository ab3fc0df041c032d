#pragma once
// The results that the command exports return (the library's UsbResult).

#include <cstdint>

namespace kovrin::usblib::commands {

enum class Result : int32_t {
    Success = 0,
    NotInitialised = 1,
    NotOpen = 2,
    BadHandle = 3,
    AlreadyOpen = 4,
    OpenFailed = 5,
    LinkFailed = 6,
    WriteFailed = 7,
    WrongDeviceType = 8,
    BadReply = 9,
    BadArgument = 10,
    TimeOut = 11,
    Refused = 12,          // acceptor code 0xFF
    NotSupported = 13,     // acceptor code 0x99
    DataOverload = 14,
    AcceptorError0 = 15,   // acceptor codes 0xE0 to 0xE4 give 15 to 19
};

}  // namespace kovrin::usblib::commands
