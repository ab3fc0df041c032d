#include "acceptor_emulator.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

#include "eeprom_defaults.h"
#include "identity.h"
#include "pseudo_terminal.h"
#include "reply_frame.h"

namespace kovrin::emulator {

namespace {

using Clock = std::chrono::steady_clock;

// A frame whose bytes stop coming for this long is given up, as a UART receiver's timeout would.
constexpr auto kInterByteTimeout = std::chrono::milliseconds(100);
constexpr auto kIdleWait = std::chrono::milliseconds(10);
constexpr int kBitsPerByte = 10;  // start, eight data bits, stop
constexpr uint16_t kCalibrationStatusLength = 6;
constexpr uint8_t kWriteMarker = 0x62;
constexpr size_t kLongestReplyData = 249;

namespace Command {
constexpr uint8_t Calibrate = 0x02;
constexpr uint8_t Poll = 0x06;
constexpr uint8_t ReadConfiguration = 0x20;
constexpr uint8_t WriteConfiguration = 0x21;
constexpr uint8_t ReadMemory = 0x24;
constexpr uint8_t DateStamp = 0x34;
constexpr uint8_t ReadAudit = 0x35;
}  // namespace Command

std::string checkedText(const std::string& given, const std::string& fallback, size_t longest, const char* what)
{
    const std::string& text = given.empty() ? fallback : given;
    if (text.size() > longest)
        throw std::invalid_argument(std::string(what) + " longer than " + std::to_string(longest) + " characters");
    return text;
}

}  // namespace

AcceptorEmulator::AcceptorEmulator(AcceptorOptions options) : options_(std::move(options))
{
    const int variant = options_.variant;
    if (variant < 0 || variant > 255) throw std::invalid_argument("variant must be a byte");
    options_.serial = checkedText(options_.serial, defaultSerial(variant), serialLength(variant), "serial number");
    options_.softwareText =
        checkedText(options_.softwareText, defaultSoftwareText(variant), softwareTextLength(variant), "software text");
    options_.versionText =
        checkedText(options_.versionText, defaultVersionText(variant), kVersionTextLength, "version text");
    options_.infoText = checkedText(options_.infoText, kDefaultInfoText, kInfoTextLength, "info text");
    eeprom_ = options_.eeprom ? *options_.eeprom : defaultEeprom(variant, options_.serial, options_.audit);
    factoryCopy_ = eeprom_;
}

AcceptorEmulator::~AcceptorEmulator()
{
    stop();
}

void AcceptorEmulator::start(const std::filesystem::path& linkPath)
{
    if (thread_.joinable()) throw std::logic_error("acceptor emulator already started");
    terminal_ = std::make_unique<PseudoTerminal>(linkPath);
    reader_.reset();
    {
        std::lock_guard lock(mutex_);
        stopping_ = false;
    }
    thread_ = std::thread([this] { run(); });
}

void AcceptorEmulator::stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    terminal_.reset();
}

std::string AcceptorEmulator::devicePath() const
{
    return terminal_ ? terminal_->devicePath() : std::string();
}

void AcceptorEmulator::run()
{
    uint8_t buffer[512];
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (stopping_) return;
        }
        pollfd p{terminal_->fd(), POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(kIdleWait.count()));
        if (ready > 0 && (p.revents & POLLIN)) {
            const ssize_t n = ::read(terminal_->fd(), buffer, sizeof buffer);
            if (n > 0) {
                handleBytes(buffer, static_cast<size_t>(n), terminal_->lineSpeed());
                continue;
            }
        }
        if (ready > 0 && (p.revents & (POLLHUP | POLLERR))) {
            // Nobody has the port open; look again shortly.
            reader_.reset();
            sleepFor(kIdleWait);
        }
        if (reader_.held() > 0 && Clock::now() - lastByteAt_ > kInterByteTimeout) reader_.reset();
    }
}

void AcceptorEmulator::handleBytes(const uint8_t* bytes, size_t count, int lineSpeed)
{
    const auto now = Clock::now();
    {
        std::lock_guard lock(mutex_);
        if (unplugged_) return;
        lastLineSpeed_ = lineSpeed;
        if (now < rebootEnds_) {
            reader_.reset();
            return;
        }
        if (lineSpeed != ownBaud()) {
            // At another speed the UART sees framing errors, not bytes; a half-heard frame is spoilt too.
            wrongSpeedBytes_ += static_cast<int>(count);
            reader_.reset();
            return;
        }
    }
    if (reader_.held() > 0 && now - lastByteAt_ > kInterByteTimeout) reader_.reset();
    lastByteAt_ = now;

    for (const HostFrame& frame : reader_.feed(bytes, count)) {
        std::optional<Reply> reply;
        std::optional<Fault> fault;
        {
            std::lock_guard lock(mutex_);
            if (!accepts(frame.address)) continue;
            ++commandCounts_[frame.command];
            if (silent_) continue;
            reply = answer(frame.command, frame.data);
            if (reply) fault = faults_.take(frame.command);
            // Counted from the reply on, so a host that has the acknowledgement sees the unit rebooting.
            if (reply && reply->rebootAfter) rebootEnds_ = Clock::now() + options_.rebootTime;
        }
        if (!reply) continue;
        send(reply->frame, fault);
        if (reply->rebootAfter) {
            // Whatever else was heard is lost with the restart.
            reader_.reset();
            return;
        }
    }
}

int AcceptorEmulator::ownBaud() const
{
    return kApplicationBaud;
}

bool AcceptorEmulator::accepts(uint8_t address) const
{
    // Address 0 reaches every unit: the host uses it before it knows which variant is attached.
    return address == 0 || address == ownFrameAddress(options_.variant);
}

std::optional<AcceptorEmulator::Reply> AcceptorEmulator::answer(uint8_t command, const std::vector<uint8_t>& data)
{
    const int variant = options_.variant;
    switch (command) {
    case Command::Poll:
        return Reply{buildReply(Command::Poll, identification())};
    case Command::Calibrate:
        options_.calibrated = true;
        return Reply{buildReply(Command::Calibrate, {})};
    case Command::ReadConfiguration: {
        const size_t length = configurationLength(variant);
        return Reply{buildReply(Command::ReadConfiguration, std::vector<uint8_t>(eeprom_.begin(), eeprom_.begin() + length))};
    }
    case Command::WriteConfiguration:
        if (data.empty() || data[0] != kWriteMarker) return std::nullopt;
        // The marker stands in place of byte 0, which the write leaves alone.
        for (size_t i = 1; i < data.size() && i < eeprom_.size(); ++i) eeprom_[i] = data[i];
        return Reply{buildReply(Command::WriteConfiguration, {}), true};
    case Command::ReadMemory: {
        if (data.size() != 4 || data[0] != 0 || data[3] == 0 || data[3] > kLongestReplyData) return std::nullopt;
        const auto address = static_cast<uint16_t>(data[1] << 8 | data[2]);
        return Reply{buildReply(Command::ReadMemory, readMemory(address, data[3]))};
    }
    case Command::DateStamp:
        if (data.size() != 5) return std::nullopt;
        lastDateStamp_ = DateStamp{data[0], data[1], data[2], data[3], data[4]};
        return Reply{buildReply(Command::DateStamp, {})};
    case Command::ReadAudit:
        if (options_.versionText < "0017") return Reply{buildReply(Command::ReadAudit, olderAuditReplyData(auditCounters()))};
        return Reply{buildReply(Command::ReadAudit, packAuditCounters(auditCounters()))};
    default:
        // The application does not know the command; a real unit stays quiet.
        return std::nullopt;
    }
}

std::vector<uint8_t> AcceptorEmulator::identification() const
{
    Identity identity;
    identity.variant = options_.variant;
    identity.unitState = options_.unitState;
    identity.serial = options_.serial;
    identity.memoryAddress = options_.factoryCopy ? kFactoryCopyAddress : 0;
    identity.infoText = options_.infoText;
    identity.softwareText = options_.softwareText;
    identity.versionText = options_.versionText;
    identity.longFrame = options_.longIdentification;
    return identificationData(identity);
}

std::vector<uint8_t> AcceptorEmulator::readMemory(uint16_t address, uint8_t count) const
{
    std::vector<uint8_t> bytes;
    for (unsigned a = address; a < unsigned(address) + count; ++a) {
        uint8_t value = 0xFF;  // unused memory reads as erased
        if (a >= kEepromAddress && a < kEepromAddress + eeprom_.size())
            value = eeprom_[a - kEepromAddress];
        else if (a >= kFactoryCopyAddress && a < kFactoryCopyAddress + factoryCopy_.size())
            value = options_.factoryCopy ? factoryCopy_[a - kFactoryCopyAddress] : 0xFF;
        else if (a >= kCalibrationStatusAddress && a < kCalibrationStatusAddress + kCalibrationStatusLength)
            value = (a == kCalibrationStatusAddress && options_.calibrated) ? 0x01 : 0x00;
        bytes.push_back(value);
    }
    return bytes;
}

AuditCounters AcceptorEmulator::auditCounters() const
{
    // Where the layout has an audit area the unit counts there, so a configuration read shows the same values.
    if (const int at = auditAreaOffset(options_.variant); at >= 0)
        return unpackAuditCounters(std::vector<uint8_t>(eeprom_.begin() + at, eeprom_.begin() + at + 20));
    return options_.audit;
}

void AcceptorEmulator::send(std::vector<uint8_t> frame, const std::optional<Fault>& fault)
{
    if (!fault) {
        writeAtLineSpeed(frame);
        return;
    }
    const SpoiltReply spoilt = spoil(frame, *fault);
    for (size_t i = 0; i < spoilt.parts.size(); ++i) {
        if (i > 0 && !sleepFor(spoilt.pause)) return;
        writeAtLineSpeed(spoilt.parts[i]);
    }
}

void AcceptorEmulator::writeAtLineSpeed(const std::vector<uint8_t>& bytes)
{
    bool pacing = false;
    {
        std::lock_guard lock(mutex_);
        pacing = options_.pacing;
    }
    // Bytes sent while the host listens at another speed arrive as line errors, which hosts throw away.
    if (!pacing) {
        if (terminal_->lineSpeed() == ownBaud()) terminal_->write(bytes.data(), bytes.size());
        return;
    }
    const auto byteTime = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(double(kBitsPerByte) / ownBaud()));
    auto due = Clock::now();
    for (uint8_t byte : bytes) {
        due += byteTime;
        if (!sleepFor(due - Clock::now())) return;
        if (terminal_->lineSpeed() == ownBaud()) terminal_->write(&byte, 1);
    }
}

bool AcceptorEmulator::sleepFor(Clock::duration duration)
{
    std::unique_lock lock(mutex_);
    if (duration > Clock::duration::zero())
        wake_.wait_for(lock, duration, [this] { return stopping_; });
    return !stopping_;
}

void AcceptorEmulator::setUnplugged(bool unplugged)
{
    std::lock_guard lock(mutex_);
    unplugged_ = unplugged;
}

void AcceptorEmulator::setSilent(bool silent)
{
    std::lock_guard lock(mutex_);
    silent_ = silent;
}

void AcceptorEmulator::setPacing(bool pacing)
{
    std::lock_guard lock(mutex_);
    options_.pacing = pacing;
}

void AcceptorEmulator::setRebootTime(std::chrono::milliseconds rebootTime)
{
    std::lock_guard lock(mutex_);
    options_.rebootTime = rebootTime;
}

void AcceptorEmulator::setCalibrated(bool calibrated)
{
    std::lock_guard lock(mutex_);
    options_.calibrated = calibrated;
}

void AcceptorEmulator::setUnitState(uint8_t unitState)
{
    std::lock_guard lock(mutex_);
    options_.unitState = unitState;
}

void AcceptorEmulator::setAuditCounters(const AuditCounters& counters)
{
    std::lock_guard lock(mutex_);
    options_.audit = counters;
    if (const int at = auditAreaOffset(options_.variant); at >= 0) {
        const std::vector<uint8_t> block = packAuditCounters(counters);
        std::copy(block.begin(), block.end(), eeprom_.begin() + at);
    }
}

void AcceptorEmulator::failNextReplies(int command, const Fault& fault)
{
    std::lock_guard lock(mutex_);
    faults_.add(command, fault);
}

void AcceptorEmulator::clearFaults()
{
    std::lock_guard lock(mutex_);
    faults_.clear();
}

int AcceptorEmulator::pollCount() const
{
    return commandCount(Command::Poll);
}

int AcceptorEmulator::commandCount(uint8_t command) const
{
    std::lock_guard lock(mutex_);
    const auto it = commandCounts_.find(command);
    return it == commandCounts_.end() ? 0 : it->second;
}

int AcceptorEmulator::wrongSpeedByteCount() const
{
    std::lock_guard lock(mutex_);
    return wrongSpeedBytes_;
}

int AcceptorEmulator::lastLineSpeed() const
{
    std::lock_guard lock(mutex_);
    return lastLineSpeed_;
}

std::optional<DateStamp> AcceptorEmulator::lastDateStamp() const
{
    std::lock_guard lock(mutex_);
    return lastDateStamp_;
}

Eeprom AcceptorEmulator::eeprom() const
{
    std::lock_guard lock(mutex_);
    return eeprom_;
}

bool AcceptorEmulator::calibrated() const
{
    std::lock_guard lock(mutex_);
    return options_.calibrated;
}

bool AcceptorEmulator::rebooting() const
{
    std::lock_guard lock(mutex_);
    return Clock::now() < rebootEnds_;
}

}  // namespace kovrin::emulator
