#include "emulators/acceptor/pseudo_terminal.h"

#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace kovrin::emulator {

namespace {

struct SpeedName {
    speed_t code;
    int baud;
};

constexpr SpeedName kSpeeds[] = {
    {B300, 300},     {B600, 600},     {B1200, 1200},   {B2400, 2400},     {B4800, 4800},
    {B9600, 9600},   {B19200, 19200}, {B38400, 38400}, {B57600, 57600},   {B115200, 115200},
    {B230400, 230400},
};

[[noreturn]] void fail(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PseudoTerminal::PseudoTerminal(const std::filesystem::path& linkPath) : linkPath_(linkPath)
{
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master_ < 0) fail("posix_openpt");
    char name[128];
    if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0) {
        const int saved = errno;
        ::close(master_);
        errno = saved;
        fail("pseudo-terminal set-up");
    }
    devicePath_ = name;

    // Like a serial port nobody has configured yet: 9600, and no echo of what the unit sends.
    termios settings{};
    if (tcgetattr(master_, &settings) == 0) {
        cfmakeraw(&settings);
        cfsetispeed(&settings, B9600);
        cfsetospeed(&settings, B9600);
        tcsetattr(master_, TCSANOW, &settings);
    }

    std::error_code ec;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(linkPath_, ec)))
        std::filesystem::remove(linkPath_, ec);
    if (::symlink(devicePath_.c_str(), linkPath_.c_str()) != 0) {
        const int saved = errno;
        ::close(master_);
        errno = saved;
        fail("symlink");
    }
}

PseudoTerminal::~PseudoTerminal()
{
    std::error_code ec;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(linkPath_, ec)) &&
        std::filesystem::read_symlink(linkPath_, ec) == devicePath_)
        std::filesystem::remove(linkPath_, ec);
    ::close(master_);
}

int PseudoTerminal::lineSpeed() const
{
    // On Linux the master reports the settings the host made on the slave.
    termios settings{};
    if (tcgetattr(master_, &settings) != 0) return 0;
    const speed_t code = cfgetospeed(&settings);
    for (const SpeedName& s : kSpeeds)
        if (s.code == code) return s.baud;
    return 0;
}

bool PseudoTerminal::write(const uint8_t* bytes, size_t count)
{
    while (count > 0) {
        const ssize_t n = ::write(master_, bytes, count);
        if (n > 0) {
            bytes += n;
            count -= static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            // A full or closed line loses the rest, as a wire would.
            return false;
        }
    }
    return true;
}

}  // namespace kovrin::emulator
