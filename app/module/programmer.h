#pragma once
// The user's three device actions (read the configuration, write it, write the
// firmware) behind one set of operations, whichever device they go to: the
// acceptor on the serial link or the programming module. The window chooses
// the programmer once, when it connects, and never asks which one it has.

#include <cstdint>
#include <string>

#include "app/config/eeprom_record.h"
#include "app/config/program_state.h"
#include "app/core/firmware_image.h"
#include "app/link/acceptor_session.h"
#include "app/module/module_session.h"

namespace kovrin {

class Programmer {
public:
    virtual ~Programmer() = default;

    // ---- the configuration
    // Reads the device's configuration; what comes back is shown through the device's own host.
    // `acceptorVariant` is the attached acceptor's, `current` the record being edited.
    virtual void ReadConfiguration(const KduConfigTarget& target, uint8_t acceptorVariant,
                                   const EepromRecord& current) = 0;
    // Why a record of `recordVariant` cannot go to this device (empty: it can).
    virtual std::string RecordRefusal(uint8_t recordVariant, uint8_t acceptorVariant) const = 0;
    // Before the screen is read for a write: nothing else may speak to the device meanwhile.
    virtual void BeginConfigurationWrite() = 0;
    // The write was given up before anything was sent.
    virtual void AbandonConfigurationWrite() = 0;
    virtual void WriteConfiguration(const EepromRecord& record, const KduConfigTarget& target) = 0;
    // The configuration edited is the loaded image's, not one read from an attached acceptor.
    virtual bool ConfiguresLoadedImage() const = 0;

    // ---- the firmware
    // A second image needs a restart of the program.
    virtual bool KeepsFirstImage() const = 0;
    enum class ImageUse {
        FollowsAcceptor,  // whether it may go is known only once an acceptor answers
        Ready,            // it may go now
        Unusable,         // this device takes no image of that variant
    };
    virtual ImageUse UseOfLoadedImage(uint8_t imageVariant) const = 0;
    // Why the loaded image cannot go (empty: it can); asked before whether anything else is under way.
    virtual std::string FirmwareRefusal(const FirmwareImage& image, uint8_t imageVariant) const = 0;
    // Sends `image`, whose block table is whole. `namedAsAcceptor`: the image's name is the attached acceptor's.
    virtual void WriteFirmware(const FirmwareImage& image, uint8_t imageVariant, bool namedAsAcceptor) = 0;
};

// What the serial programmer has the window do around its exchanges.
class SerialProgrammerHost {
public:
    virtual ~SerialProgrammerHost() = default;

    // A message box with an OK button under the program's title.
    virtual void Message(const std::string& text) = 0;
    // The attached acceptor's buttons take input again, or not.
    virtual void EnableButtons(bool enabled) = 0;
    // Reopens the port at the normal speed (the window's Connect): what was under way ends.
    virtual void Reconnect() = 0;
    // An update is starting: its buttons go and its display is reset.
    virtual void UpdateStarting() = 0;
    // Reopens the port at the boot loader's speed.
    virtual void OpenPortFlashSpeed() = 0;
    // The port did not reopen at the boot loader's speed: the update is over before it began.
    virtual void UpdateDidNotStart() = 0;
    // The boot loader's speed is in use: the update is under way.
    virtual void UpdateUnderWay() = 0;
};

// The acceptor on the serial link, through its session.
class SerialProgrammer final : public Programmer {
public:
    SerialProgrammer(AcceptorSession& session, SerialProgrammerHost& host) : session_(session), host_(host) {}

    void ReadConfiguration(const KduConfigTarget& target, uint8_t acceptorVariant,
                           const EepromRecord& current) override;
    std::string RecordRefusal(uint8_t recordVariant, uint8_t acceptorVariant) const override;
    void BeginConfigurationWrite() override;
    void AbandonConfigurationWrite() override;
    void WriteConfiguration(const EepromRecord& record, const KduConfigTarget& target) override;
    bool ConfiguresLoadedImage() const override { return false; }
    bool KeepsFirstImage() const override { return false; }
    ImageUse UseOfLoadedImage(uint8_t) const override { return ImageUse::FollowsAcceptor; }
    std::string FirmwareRefusal(const FirmwareImage&, uint8_t) const override { return {}; }
    void WriteFirmware(const FirmwareImage& image, uint8_t imageVariant, bool namedAsAcceptor) override;

private:
    // Polling stops and the port is opened afresh, so no reply of before meets the exchange.
    void TakeLink();

    AcceptorSession& session_;
    SerialProgrammerHost& host_;
};

// The programming module, through the module session: each action is a file on the unit in use.
class ModuleProgrammer final : public Programmer {
public:
    // `state`: what a configuration file takes is its EepromLength.
    ModuleProgrammer(ModuleSession& module, ProgramState& state) : module_(module), state_(state) {}

    void ReadConfiguration(const KduConfigTarget& target, uint8_t acceptorVariant,
                           const EepromRecord& current) override;
    std::string RecordRefusal(uint8_t, uint8_t) const override { return {}; }
    void BeginConfigurationWrite() override {}
    void AbandonConfigurationWrite() override {}
    void WriteConfiguration(const EepromRecord& record, const KduConfigTarget& target) override;
    bool ConfiguresLoadedImage() const override { return true; }
    bool KeepsFirstImage() const override { return true; }
    ImageUse UseOfLoadedImage(uint8_t imageVariant) const override;
    std::string FirmwareRefusal(const FirmwareImage& image, uint8_t imageVariant) const override;
    void WriteFirmware(const FirmwareImage& image, uint8_t imageVariant, bool namedAsAcceptor) override;

private:
    ModuleSession& module_;
    ProgramState& state_;
};

}  // namespace kovrin
