#include "tests/emulators/acceptor/test_line.h"

#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "emulators/acceptor/identity.h"

namespace kovrin::emulator::test {

namespace {

speed_t speedCode(int baud)
{
    switch (baud) {
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    default: throw std::invalid_argument("speed not used in tests");
    }
}

}  // namespace

Bytes hostFrame(uint8_t address, uint8_t command, const Bytes& data)
{
    const auto n = static_cast<uint8_t>(data.size() + 6);
    Bytes frame{0x27, address, n, static_cast<uint8_t>(256 - n), command};
    frame.insert(frame.end(), data.begin(), data.end());
    uint8_t check = 0x27;
    for (uint8_t b : frame) check ^= b;
    frame.push_back(check);
    return frame;
}

AcceptorOptions fastOptions(int variant)
{
    AcceptorOptions options;
    options.variant = variant;
    options.pacing = false;
    options.rebootTime = 300ms;
    return options;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

TestLine::TestLine(const std::filesystem::path& path, int baud)
{
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0) throw std::runtime_error("cannot open " + path.string());
    setSpeed(baud);
}

TestLine::~TestLine()
{
    ::close(fd_);
}

void TestLine::setSpeed(int baud)
{
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, speedCode(baud));
    cfsetospeed(&t, speedCode(baud));
    tcsetattr(fd_, TCSANOW, &t);
}

void TestLine::send(const Bytes& bytes)
{
    if (::write(fd_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("short write to the test line");
}

Bytes TestLine::read(size_t count, std::chrono::milliseconds timeout)
{
    Bytes out;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (out.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        uint8_t buffer[256];
        const ssize_t n = ::read(fd_, buffer, std::min(sizeof buffer, count - out.size()));
        if (n > 0) out.insert(out.end(), buffer, buffer + n);
    }
    return out;
}

Bytes TestLine::readFrame(std::chrono::milliseconds timeout)
{
    Bytes frame = read(3, timeout);
    if (frame.size() < 3) return {};
    const Bytes rest = read(frame[2] > 3 ? frame[2] - 3u : 0u, timeout);
    frame.insert(frame.end(), rest.begin(), rest.end());
    return frame;
}

Bytes TestLine::drain(std::chrono::milliseconds window)
{
    return read(4096, window);
}

EmulatorRig::EmulatorRig(AcceptorOptions options)
{
    char pattern[] = "/tmp/kovrin-emu-XXXXXX";
    folder_ = ::mkdtemp(pattern);
    link_ = folder_ / "COM1";
    address_ = ownFrameAddress(options.variant);
    unit_ = std::make_unique<AcceptorEmulator>(std::move(options));
    unit_->start(link_);
    line_ = std::make_unique<TestLine>(link_);
}

EmulatorRig::~EmulatorRig()
{
    line_.reset();
    unit_.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

Bytes EmulatorRig::ask(uint8_t command, const Bytes& data)
{
    line_->send(hostFrame(address_, command, data));
    return line_->readFrame();
}

}  // namespace kovrin::emulator::test
