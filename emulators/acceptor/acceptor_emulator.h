#pragma once
// An emulated Tyx bill acceptor on a pseudo-terminal: the application firmware at 9600 baud and the
// boot loader at 38400 that replaces it.
// After an update the application of the new image runs: it reports the image's variant (0x4000), its
// 11-character text from 0x400A as software text, its revision from 0x4015 as version, and its code
// (0x4019) as unit state; serial number, info text and configuration memory stay with the unit.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "emulators/acceptor/audit_data.h"
#include "emulators/acceptor/fault_plan.h"
#include "emulators/acceptor/flash_memory.h"
#include "emulators/acceptor/frame_reader.h"

namespace kovrin::emulator {

using Eeprom = std::array<uint8_t, 256>;
using DateStamp = std::array<uint8_t, 5>;

// Memory map of the emulated unit, as the 0x24 memory read sees it.
inline constexpr uint16_t kEepromAddress = 0x0000;
inline constexpr uint16_t kFactoryCopyAddress = 0x0100;
inline constexpr uint16_t kCalibrationStatusAddress = 0x02FA;
inline constexpr int kApplicationBaud = 9600;
inline constexpr int kBootLoaderBaud = 38400;
// Unit state of every boot-loader identification: program mode.
inline constexpr uint8_t kProgramModeState = 0x99;
inline constexpr const char* kBootLoaderSoftwareText = "BOOTLOADER";
inline constexpr const char* kBootLoaderVersionText = "0100";

struct AcceptorOptions {
    int variant = 5;                   // variant byte of the identification reply
    std::string serial;                // empty: a default of the variant's length
    std::string softwareText;          // empty: the variant's default
    std::string versionText;           // empty: the variant's default
    std::string infoText;              // empty: "TYX-HW-R01"
    bool longIdentification = true;    // variants 5 and 7: 47-byte reply; false: the older 46-byte one
    uint8_t unitState = 0;             // 0 unrestricted, 0x99 program mode, else a restriction code
    bool calibrated = true;
    bool factoryCopy = true;
    std::optional<Eeprom> eeprom;      // empty: the built-in image of the variant's layout
    AuditCounters audit{};             // variants with an audit area keep them in the built-in image
    bool pacing = true;                // send replies at the wire speed of the running firmware
    bool startInBootLoader = false;    // a unit left without application firmware by an update
    std::chrono::milliseconds rebootTime{3000};  // silence after a configuration write
    std::chrono::milliseconds startUpTime{200};  // silence while the application starts after an update
};

class PseudoTerminal;

class AcceptorEmulator {
public:
    // Takes the unit's description; throws std::invalid_argument for texts of the wrong length.
    explicit AcceptorEmulator(AcceptorOptions options = {});
    // Stops the unit and removes its link.
    ~AcceptorEmulator();
    AcceptorEmulator(const AcceptorEmulator&) = delete;
    AcceptorEmulator& operator=(const AcceptorEmulator&) = delete;

    // Opens the pseudo-terminal, links linkPath to it (replacing a link there) and starts answering.
    void start(const std::filesystem::path& linkPath);
    // Stops answering, closes the pseudo-terminal and removes the link if it is still ours.
    void stop();
    // The slave device, e.g. /dev/pts/3 (empty before start).
    std::string devicePath() const;

    // Cable pulled: hears nothing, answers nothing.
    void setUnplugged(bool unplugged);
    // Hears and counts frames but answers none.
    void setSilent(bool silent);
    // Replies at the wire speed, 9600 or 38400 baud (true), or written at once (false).
    void setPacing(bool pacing);
    // How long the unit stays deaf after a configuration write.
    void setRebootTime(std::chrono::milliseconds rebootTime);
    // Calibration state as the 0x02FA status read reports it.
    void setCalibrated(bool calibrated);
    // Byte 6 of the identification reply (0x99 program mode, else the restriction code).
    void setUnitState(uint8_t unitState);
    // Replaces the audit counters.
    void setAuditCounters(const AuditCounters& counters);
    // The unit takes in `count` notes and stacks them; its audit counters count them.
    void stackNotes(int count);
    // How long the application takes to start after an update or a power cycle.
    void setStartUpTime(std::chrono::milliseconds startUpTime);
    // A start-up under way ends now, as if its time had passed.
    void finishStartUp();
    // Spoils the next fault.times replies to `command` (kAnyCommand for every command) as described.
    void failNextReplies(int command, const Fault& fault);
    // Forgets every pending fault.
    void clearFaults();
    // Power off and on: starts the image it holds (the new one after a boot-strap update), else the boot loader.
    void powerCycle();
    // Keeps the next reply to `command` back until releaseHeldReply(), so a test can look at the host while its
    // request is out. The unit is busy meanwhile: frames that come later are heard, in order, after the release.
    void holdNextReply(uint8_t command);
    // True while a reply is kept back.
    bool replyHeld() const;
    // Lets the reply kept back go; a hold that has not caught a reply yet is dropped.
    void releaseHeldReply();

    // Valid poll frames (0x06) heard.
    int pollCount() const;
    // Valid frames with this command code heard.
    int commandCount(uint8_t command) const;
    // Bytes thrown away because the line was not at the unit's speed.
    int wrongSpeedByteCount() const;
    // The line speed (baud) when bytes last arrived; 0 before any.
    int lastLineSpeed() const;
    // The five bytes of the last date stamp (0x34), if one came.
    std::optional<DateStamp> lastDateStamp() const;
    // The unit's configuration memory.
    Eeprom eeprom() const;
    // The calibration state.
    bool calibrated() const;
    // True while the unit reboots after a configuration write or starts after a change of firmware.
    bool rebooting() const;
    // True while the boot loader runs (at 38400 baud).
    bool inBootLoader() const;
    // Every byte programmed since the last erase, by bank × 0x10000 + address.
    std::map<FlashAddress, uint8_t> flashMemory() const;
    // Erases the boot loader carried out.
    int eraseCount() const;
    // The audit counters as the unit holds them now.
    AuditCounters auditCounters() const;

private:
    struct Reply {
        std::vector<uint8_t> frame;
        bool rebootAfter = false;
        bool startApplicationAfter = false;  // the update is complete: the new image runs
        std::chrono::milliseconds delay{0};  // the boot loader's start-up before it speaks
    };

    void run();
    void handleBytes(const uint8_t* bytes, size_t count, int lineSpeed);
    std::optional<Reply> answer(uint8_t command, const std::vector<uint8_t>& data);
    std::optional<Reply> answerBootLoader(uint8_t command, const std::vector<uint8_t>& data);
    // Whether a power-up would find application firmware to start.
    bool hasApplication() const;
    void startApplication();
    void resetAuditData();
    void storeAuditCounters(const AuditCounters& counters);
    std::vector<uint8_t> readMemory(uint16_t address, uint8_t count) const;
    std::vector<uint8_t> identification() const;
    AuditCounters currentAuditCounters() const;
    void send(std::vector<uint8_t> frame, const std::optional<Fault>& fault, int baud);
    void writeAtLineSpeed(const std::vector<uint8_t>& bytes, int baud);
    bool sleepFor(std::chrono::steady_clock::duration duration);
    // Waits while a reply is held; false when the unit stops.
    bool waitForRelease();
    bool accepts(uint8_t address) const;
    // The speed the running firmware listens and talks at.
    int ownBaud() const;

    AcceptorOptions options_;
    std::unique_ptr<PseudoTerminal> terminal_;
    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;

    // Device state, guarded by mutex_.
    Eeprom eeprom_{};
    Eeprom factoryCopy_{};
    bool unplugged_ = false;
    bool silent_ = false;
    std::chrono::steady_clock::time_point rebootEnds_{};
    FaultPlan faults_;
    std::map<uint8_t, int> commandCounts_;
    int wrongSpeedBytes_ = 0;
    int lastLineSpeed_ = 0;
    std::optional<DateStamp> lastDateStamp_;
    bool bootLoader_ = false;
    FlashMemory flash_;
    int eraseCount_ = 0;
    bool erasedSinceStart_ = false;  // the application the unit came with is gone
    bool bootStrapUpdated_ = false;  // since the last erase: the boot strap starts the programmed image
    std::optional<uint8_t> holdCommand_;  // the next reply to this command is kept back
    bool replyHeld_ = false;

    // Receive state, touched by the unit's thread only.
    FrameReader reader_;
    std::chrono::steady_clock::time_point lastByteAt_{};
};

}  // namespace kovrin::emulator
