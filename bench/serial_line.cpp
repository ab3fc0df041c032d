#include "bench/serial_line.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>
#include <system_error>

namespace kovrin::soak {

namespace {

constexpr uint8_t kFrameStart = 0x27;
constexpr uint8_t kWakeByte = 0x37;
constexpr size_t kShortestFrame = 6;
// A frame Kovrin writes goes in one write; a pause this long inside one means it was cut.
constexpr auto kCutFrame = std::chrono::milliseconds(200);

[[noreturn]] void Fail(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

void MakeRaw(int fd)
{
    termios settings{};
    if (tcgetattr(fd, &settings) == 0) {
        cfmakeraw(&settings);
        tcsetattr(fd, TCSANOW, &settings);
    }
}

}  // namespace

SerialLine::SerialLine(std::filesystem::path kovrinLink, std::string unitDevice) : kovrinLink_(std::move(kovrinLink))
{
    unit_ = ::open(unitDevice.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (unit_ < 0)
        Fail("open the acceptor's end");
    MakeRaw(unit_);
    if (::pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0)
        Fail("pipe");
    OpenKovrinEnd();
    thread_ = std::thread(&SerialLine::Run, this);
}

SerialLine::~SerialLine()
{
    stopping_ = true;
    const uint8_t b = 0;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &b, 1);
    thread_.join();
    CloseKovrinEnd();
    ::close(unit_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void SerialLine::OpenKovrinEnd()
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    char name[128];
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0)
        Fail("pseudo-terminal");
    MakeRaw(master);
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave < 0)
        Fail("open Kovrin's end");
    std::error_code ignored;
    std::filesystem::remove(kovrinLink_, ignored);
    std::filesystem::create_symlink(name, kovrinLink_);
    std::lock_guard<std::mutex> guard(lock_);
    kovrinMaster_ = master;
    kovrinSlave_ = slave;
}

void SerialLine::CloseKovrinEnd()
{
    std::lock_guard<std::mutex> guard(lock_);
    if (kovrinMaster_ >= 0)
        ::close(kovrinMaster_);
    if (kovrinSlave_ >= 0)
        ::close(kovrinSlave_);
    kovrinMaster_ = kovrinSlave_ = -1;
}

void SerialLine::Rubbish(const std::vector<uint8_t>& bytes)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        rubbish_.insert(rubbish_.end(), bytes.begin(), bytes.end());
    }
    const uint8_t b = 0;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &b, 1);
}

void SerialLine::HangUp()
{
    std::error_code ignored;
    std::filesystem::remove(kovrinLink_, ignored);
    CloseKovrinEnd();
    const uint8_t b = 0;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &b, 1);
}

void SerialLine::PlugIn()
{
    OpenKovrinEnd();
    const uint8_t b = 0;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &b, 1);
}

void SerialLine::FollowKovrinsSpeed()
{
    // The master reports the speed Kovrin set on its end; the acceptor's end is set the same.
    termios kovrin{};
    if (kovrinMaster_ < 0 || tcgetattr(kovrinMaster_, &kovrin) != 0)
        return;
    const speed_t speed = cfgetospeed(&kovrin);
    if (speed == speed_)
        return;
    termios unit{};
    if (tcgetattr(unit_, &unit) != 0)
        return;
    cfsetispeed(&unit, speed);
    cfsetospeed(&unit, speed);
    tcsetattr(unit_, TCSANOW, &unit);
    speed_ = speed;
}

void SerialLine::Check(const uint8_t* bytes, size_t count)
{
    const auto now = std::chrono::steady_clock::now();
    if (!frame_.empty() && now - lastByte_ > kCutFrame) {
        ++malformed_;
        frame_.clear();
    }
    lastByte_ = now;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        if (frame_.empty()) {
            if (b == kWakeByte)
                ++wakes_;
            else if (b == kFrameStart)
                frame_.push_back(b);
            else
                ++malformed_;  // a byte outside any frame
            continue;
        }
        frame_.push_back(b);
        const size_t n = frame_.size() >= 3 ? frame_[2] : 0;
        if (frame_.size() == 3 && n < kShortestFrame) {
            ++malformed_;
            frame_.clear();
        } else if (frame_.size() == 4 && frame_[2] + frame_[3] != 256) {
            ++malformed_;
            frame_.clear();
        } else if (n != 0 && frame_.size() == n) {
            uint8_t x = 0;
            for (size_t k = 1; k < n; ++k)
                x ^= frame_[k];
            ++(x == 0 ? good_ : malformed_);
            frame_.clear();
        }
    }
}

void SerialLine::Carry(int from, int to, bool fromKovrin)
{
    uint8_t buffer[512];
    const ssize_t n = ::read(from, buffer, sizeof buffer);
    if (n <= 0)
        return;
    if (fromKovrin) {
        FollowKovrinsSpeed();
        Check(buffer, size_t(n));
    }
    if (to >= 0) {
        [[maybe_unused]] ssize_t written = ::write(to, buffer, size_t(n));
    }
}

void SerialLine::Run()
{
    while (!stopping_) {
        int kovrin;
        std::vector<uint8_t> rubbish;
        {
            std::lock_guard<std::mutex> guard(lock_);
            kovrin = kovrinMaster_;
            rubbish.swap(rubbish_);
        }
        if (kovrin >= 0 && !rubbish.empty()) {
            [[maybe_unused]] ssize_t written = ::write(kovrin, rubbish.data(), rubbish.size());
        }
        pollfd fds[3] = {{wake_[0], POLLIN, 0}, {unit_, POLLIN, 0}, {kovrin, POLLIN, 0}};
        if (::poll(fds, kovrin >= 0 ? 3 : 2, 100) <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            uint8_t drained[64];
            while (::read(wake_[0], drained, sizeof drained) > 0) {
            }
        }
        std::lock_guard<std::mutex> guard(lock_);
        if (kovrin != kovrinMaster_)
            continue;  // hung up meanwhile
        if (fds[1].revents & POLLIN)
            Carry(unit_, kovrinMaster_, false);
        if (kovrin >= 0 && (fds[2].revents & POLLIN))
            Carry(kovrinMaster_, unit_, true);
    }
}

}  // namespace kovrin::soak
