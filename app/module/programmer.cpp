#include "app/module/programmer.h"

#include "app/config/eeprom_map.h"
#include "app/config/screen_values.h"
#include "app/core/acceptor_variants.h"
#include "app/core/date_stamp.h"

namespace kovrin {

// ---- the acceptor on the serial link

void SerialProgrammer::TakeLink()
{
    host_.EnableButtons(false);
    session_.StopPolling();
    session_.Wait(ReceiveWaitMs);
    host_.Reconnect();
}

void SerialProgrammer::ReadConfiguration(const KduConfigTarget&, uint8_t acceptorVariant, const EepromRecord&)
{
    if (const std::string refusal = NoLayoutText(acceptorVariant); !refusal.empty()) {
        host_.Message(refusal);
        return;
    }
    TakeLink();
    session_.ReadConfiguration();  // polling comes back if the acceptor does not answer
}

std::string SerialProgrammer::RecordRefusal(uint8_t recordVariant, uint8_t acceptorVariant) const
{
    // Bytes of one layout would land in the wrong places of the other.
    if (LayoutOfVariant(recordVariant) != LayoutOfVariant(acceptorVariant))
        return "The configuration being edited is for another kind of acceptor than the one attached; "
               "nothing was sent.";
    return {};
}

void SerialProgrammer::BeginConfigurationWrite()
{
    TakeLink();
    session_.StopPolling();  // no poll between the write and its answer
}

void SerialProgrammer::AbandonConfigurationWrite()
{
    session_.RestartPolling();
}

void SerialProgrammer::WriteConfiguration(const EepromRecord& record, const KduConfigTarget&)
{
    EepromImage image{};
    const CodecResult encoded = EncodeEepromImage(record, image);
    // The record's own layout decides how many bytes go, never a length left by another acceptor.
    const int16_t length = EepromLengthOf(record);
    if (!encoded || length == 0) {
        host_.Message((encoded ? NoLayoutText(record.VariantCode) : encoded.message) + "\nNothing was sent.");
        host_.EnableButtons(true);
        session_.RestartPolling();
        return;
    }
    session_.WriteConfiguration(image, length, LayoutOfVariant(record.VariantCode));
}

void SerialProgrammer::WriteFirmware(const FirmwareImage& image, uint8_t, bool namedAsAcceptor)
{
    session_.StopPolling();
    session_.Wait(PortCloseWaitMs);
    host_.UpdateStarting();
    session_.ExpectHeaderlessReply();
    session_.StartUpdate(&image.BlockTable, image.ImageChecksum, namedAsAcceptor);
    host_.OpenPortFlashSpeed();
    if (!session_.State().FlashMode) {
        session_.AbandonUpdate();  // nothing is waited for any more
        host_.UpdateDidNotStart();
        session_.RestartPolling();
        return;
    }
    host_.UpdateUnderWay();
}

// ---- the programming module

void ModuleProgrammer::ReadConfiguration(const KduConfigTarget& target, uint8_t acceptorVariant,
                                         const EepromRecord& current)
{
    module_.RefreshConfigurationFromKdu(target, acceptorVariant, current);
}

void ModuleProgrammer::WriteConfiguration(const EepromRecord& record, const KduConfigTarget& target)
{
    if (const int16_t length = module_.DownloadConfigurationToKdu(record, target))
        state_.EepromLength = length;
}

Programmer::ImageUse ModuleProgrammer::UseOfLoadedImage(uint8_t imageVariant) const
{
    return VariantRow(imageVariant).ModuleFirmwareId != 0 ? ImageUse::Ready : ImageUse::Unusable;
}

std::string ModuleProgrammer::FirmwareRefusal(const FirmwareImage& image, uint8_t imageVariant) const
{
    const size_t revisionShown = imageVariant != 0 ? image.revision.size() : 0;
    return revisionShown != 4 ? "Bad Firmware revision" : std::string();
}

void ModuleProgrammer::WriteFirmware(const FirmwareImage& image, uint8_t imageVariant, bool)
{
    if (const uint32_t id = VariantRow(imageVariant).ModuleFirmwareId; id != 0)
        module_.DownloadFirmwareToKdu(id, image, LocalTimeNow());
}

}  // namespace kovrin
