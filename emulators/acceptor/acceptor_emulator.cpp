#include "emulators/acceptor/acceptor_emulator.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

#include "emulators/acceptor/eeprom_defaults.h"
#include "emulators/acceptor/identity.h"
#include "emulators/acceptor/pseudo_terminal.h"
#include "emulators/acceptor/reply_frame.h"

namespace kovrin::emulator {

namespace {

using Clock = std::chrono::steady_clock;

// A frame whose bytes stop coming for this long is given up, as a UART receiver's timeout would.
constexpr auto kInterByteTimeout = std::chrono::milliseconds(100);
constexpr auto kIdleWait = std::chrono::milliseconds(10);
constexpr int kBitsPerByte = 10;  // start, eight data bits, stop
constexpr size_t kFrameOverhead = 6;  // header, code and check byte around the data
constexpr uint16_t kCalibrationStatusLength = 6;
constexpr uint8_t kWriteMarker = 0x62;
constexpr size_t kLongestReplyData = 249;
// The boot loader sets up its UART before it speaks.
constexpr auto kBootLoaderStartUp = std::chrono::milliseconds(100);
// Guards the commands that change the firmware against a frame spoilt into their code.
const std::vector<uint8_t> kStartUpdateKey{0x55, 0xA0, 0x55, 0x88};
const std::vector<uint8_t> kFlashKey{0x55, 0xA0};

namespace Command {
constexpr uint8_t Calibrate = 0x02;
constexpr uint8_t Poll = 0x06;
constexpr uint8_t StartUpdate = 0x11;
constexpr uint8_t ProgramBlock = 0x12;
constexpr uint8_t Checksum = 0x13;
constexpr uint8_t Erase = 0x14;
constexpr uint8_t UpdateBootStrap = 0x15;
constexpr uint8_t ResetAudit = 0x1F;
constexpr uint8_t ReadConfiguration = 0x20;
constexpr uint8_t WriteConfiguration = 0x21;
constexpr uint8_t ReadMemory = 0x24;
constexpr uint8_t DateStamp = 0x34;
constexpr uint8_t ReadAudit = 0x35;
}  // namespace Command

Clock::duration byteTime(int baud)
{
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(double(kBitsPerByte) / baud));
}

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
    if (options_.startInBootLoader) {
        bootLoader_ = true;
        erasedSinceStart_ = true;
    }
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
    bool pacing = false;
    {
        std::lock_guard lock(mutex_);
        if (unplugged_) return;
        pacing = options_.pacing;
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

    // A pseudo-terminal hands over the host's bytes at once; on a wire the unit has a frame only after its
    // last byte, so with pacing each frame counts as heard one wire time after the bytes began to come.
    auto heardAt = now;
    for (const HostFrame& frame : reader_.feed(bytes, count)) {
        if (pacing) {
            heardAt += byteTime(lineSpeed) * static_cast<int>(frame.data.size() + kFrameOverhead);
            if (!sleepFor(heardAt - Clock::now())) return;
        }
        std::optional<Reply> reply;
        std::optional<Fault> fault;
        int replyBaud = 0;
        bool firmwareChanged = false;
        bool held = false;
        {
            std::lock_guard lock(mutex_);
            if (!accepts(frame.address)) continue;
            ++commandCounts_[frame.command];
            if (silent_) continue;
            const bool wasBootLoader = bootLoader_;
            reply = answer(frame.command, frame.data);
            if (!reply) continue;
            fault = faults_.take(frame.command);
            // The speed of the firmware that answers, which the switch into the boot loader has already set.
            replyBaud = ownBaud();
            // Counted from the reply on, so a host that has the acknowledgement sees the unit rebooting.
            if (reply->rebootAfter) rebootEnds_ = Clock::now() + options_.rebootTime;
            if (reply->delay > std::chrono::milliseconds::zero()) rebootEnds_ = Clock::now() + reply->delay;
            if (reply->startApplicationAfter) startApplication();
            firmwareChanged = wasBootLoader != bootLoader_;
            if (holdCommand_ == frame.command) {
                holdCommand_.reset();
                replyHeld_ = held = true;
            }
        }
        if (held && !waitForRelease()) return;
        if (!sleepFor(reply->delay)) return;
        send(reply->frame, fault, replyBaud);
        if (reply->rebootAfter || firmwareChanged) {
            // Whatever else was heard is lost with the restart.
            reader_.reset();
            return;
        }
    }
}

int AcceptorEmulator::ownBaud() const
{
    return bootLoader_ ? kBootLoaderBaud : kApplicationBaud;
}

bool AcceptorEmulator::accepts(uint8_t address) const
{
    // Address 0 reaches every unit: the host uses it before it knows which variant is attached.
    return address == 0 || address == ownFrameAddress(options_.variant);
}

std::optional<AcceptorEmulator::Reply> AcceptorEmulator::answer(uint8_t command, const std::vector<uint8_t>& data)
{
    if (bootLoader_) return answerBootLoader(command, data);
    const int variant = options_.variant;
    switch (command) {
    case Command::StartUpdate: {
        if (data != kStartUpdateKey) return std::nullopt;
        bootLoader_ = true;
        // The boot loader's greeting answers the request, at its own speed.
        Reply reply{buildReply(Command::StartUpdate, {})};
        reply.delay = kBootLoaderStartUp;
        return reply;
    }
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
        if (options_.versionText < "0017") return Reply{buildReply(Command::ReadAudit, olderAuditReplyData(currentAuditCounters()))};
        return Reply{buildReply(Command::ReadAudit, packAuditCounters(currentAuditCounters()))};
    default:
        // The application does not know the command; a real unit stays quiet.
        return std::nullopt;
    }
}

std::optional<AcceptorEmulator::Reply> AcceptorEmulator::answerBootLoader(uint8_t command,
                                                                       const std::vector<uint8_t>& data)
{
    switch (command) {
    case Command::Poll:
        return Reply{buildReply(Command::Poll, identification())};
    case Command::StartUpdate:
        if (data != kStartUpdateKey) return std::nullopt;
        return Reply{buildReply(Command::StartUpdate, {})};
    case Command::Erase:
        if (data != kFlashKey) return std::nullopt;
        flash_.erase();
        ++eraseCount_;
        erasedSinceStart_ = true;
        bootStrapUpdated_ = false;
        return Reply{buildReply(Command::Erase, {})};
    case Command::ProgramBlock: {
        // Bank, address high, address low, then the data.
        if (data.size() < 4) return std::nullopt;
        const auto address = static_cast<uint16_t>(data[1] << 8 | data[2]);
        // A refused block is not acknowledged, so the host sends it again or gives up.
        if (!flash_.program(data[0], address, std::vector<uint8_t>(data.begin() + 3, data.end()))) return std::nullopt;
        return Reply{buildReply(Command::ProgramBlock, {})};
    }
    case Command::UpdateBootStrap:
        if (data != kFlashKey) return std::nullopt;
        bootStrapUpdated_ = true;
        return Reply{buildReply(Command::UpdateBootStrap, {})};
    case Command::Checksum: {
        const uint16_t sum = flash_.checksum();
        return Reply{buildReply(Command::Checksum, {static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum & 0xFF)})};
    }
    case Command::ResetAudit: {
        resetAuditData();
        // The last command of an update: with a complete image the unit starts it.
        Reply reply{buildReply(Command::ResetAudit, {})};
        reply.startApplicationAfter = hasApplication();
        return reply;
    }
    default:
        return std::nullopt;
    }
}

bool AcceptorEmulator::hasApplication() const
{
    if (!erasedSinceStart_) return true;
    return bootStrapUpdated_ && flash_.imageIdentity().has_value();
}

void AcceptorEmulator::startApplication()
{
    bootLoader_ = false;
    // The application checks its image before it listens.
    rebootEnds_ = Clock::now() + options_.startUpTime;
    if (!erasedSinceStart_) return;
    const std::optional<ImageIdentity> image = flash_.imageIdentity();
    if (!image) return;
    // The running firmware describes itself; serial number, info text and configuration stay with the unit.
    options_.variant = image->variant;
    options_.softwareText = image->softwareText;
    options_.softwareText.resize(softwareTextLength(image->variant), ' ');
    options_.versionText = image->versionText;
    options_.unitState = image->imageCode;
}

void AcceptorEmulator::resetAuditData()
{
    storeAuditCounters(AuditCounters{});
}

void AcceptorEmulator::storeAuditCounters(const AuditCounters& counters)
{
    options_.audit = counters;
    if (const int at = auditAreaOffset(options_.variant); at >= 0) {
        const std::vector<uint8_t> block = packAuditCounters(counters);
        std::copy(block.begin(), block.end(), eeprom_.begin() + at);
    }
}

std::vector<uint8_t> AcceptorEmulator::identification() const
{
    if (bootLoader_) {
        Identity identity;
        identity.variant = options_.variant;
        identity.unitState = kProgramModeState;
        identity.serial = options_.serial;
        identity.infoText = options_.infoText;
        identity.softwareText = kBootLoaderSoftwareText;
        identity.versionText = kBootLoaderVersionText;
        // The boot loader's frame always has the ten-character software text and the version at byte 40.
        identity.longFrame = false;
        return identificationData(identity);
    }
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

AuditCounters AcceptorEmulator::currentAuditCounters() const
{
    // Where the layout has an audit area the unit counts there, so a configuration read shows the same values.
    if (const int at = auditAreaOffset(options_.variant); at >= 0)
        return unpackAuditCounters(std::vector<uint8_t>(eeprom_.begin() + at, eeprom_.begin() + at + 20));
    return options_.audit;
}

void AcceptorEmulator::send(std::vector<uint8_t> frame, const std::optional<Fault>& fault, int baud)
{
    if (!fault) {
        writeAtLineSpeed(frame, baud);
        return;
    }
    const SpoiltReply spoilt = spoil(frame, *fault);
    for (size_t i = 0; i < spoilt.parts.size(); ++i) {
        if (i > 0 && !sleepFor(spoilt.pause)) return;
        writeAtLineSpeed(spoilt.parts[i], baud);
    }
}

void AcceptorEmulator::writeAtLineSpeed(const std::vector<uint8_t>& bytes, int baud)
{
    bool pacing = false;
    {
        std::lock_guard lock(mutex_);
        pacing = options_.pacing;
    }
    // Bytes sent while the host listens at another speed arrive as line errors, which hosts throw away.
    if (!pacing) {
        if (terminal_->lineSpeed() == baud) terminal_->write(bytes.data(), bytes.size());
        return;
    }
    auto due = Clock::now();
    for (uint8_t byte : bytes) {
        due += byteTime(baud);
        if (!sleepFor(due - Clock::now())) return;
        if (terminal_->lineSpeed() == baud) terminal_->write(&byte, 1);
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
    storeAuditCounters(counters);
}

void AcceptorEmulator::stackNotes(int count)
{
    std::lock_guard lock(mutex_);
    AuditCounters counters = currentAuditCounters();
    // Each note starts the motor, waits in escrow and goes to the stacker.
    counters.motorStarts += static_cast<uint32_t>(count);
    counters.preEscrows += static_cast<uint32_t>(count);
    counters.stacked += static_cast<uint32_t>(count);
    storeAuditCounters(counters);
}

void AcceptorEmulator::setStartUpTime(std::chrono::milliseconds startUpTime)
{
    std::lock_guard lock(mutex_);
    options_.startUpTime = startUpTime;
}

void AcceptorEmulator::finishStartUp()
{
    std::lock_guard lock(mutex_);
    rebootEnds_ = Clock::now();
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

void AcceptorEmulator::powerCycle()
{
    std::lock_guard lock(mutex_);
    if (hasApplication()) {
        startApplication();
        return;
    }
    bootLoader_ = true;
    rebootEnds_ = Clock::now() + kBootLoaderStartUp;
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

namespace kovrin::emulator {

bool AcceptorEmulator::inBootLoader() const
{
    std::lock_guard lock(mutex_);
    return bootLoader_;
}

std::map<FlashAddress, uint8_t> AcceptorEmulator::flashMemory() const
{
    std::lock_guard lock(mutex_);
    return flash_.programmed();
}

int AcceptorEmulator::eraseCount() const
{
    std::lock_guard lock(mutex_);
    return eraseCount_;
}

AuditCounters AcceptorEmulator::auditCounters() const
{
    std::lock_guard lock(mutex_);
    return currentAuditCounters();
}

void AcceptorEmulator::holdNextReply(uint8_t command)
{
    std::lock_guard lock(mutex_);
    holdCommand_ = command;
}

bool AcceptorEmulator::replyHeld() const
{
    std::lock_guard lock(mutex_);
    return replyHeld_;
}

void AcceptorEmulator::releaseHeldReply()
{
    {
        std::lock_guard lock(mutex_);
        holdCommand_.reset();
        replyHeld_ = false;
    }
    wake_.notify_all();
}

bool AcceptorEmulator::waitForRelease()
{
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return !replyHeld_ || stopping_; });
    return !stopping_;
}

}  // namespace kovrin::emulator
