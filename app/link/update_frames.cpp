#include "app/link/update_frames.h"

namespace kovrin {

namespace {

void Fixed(TxBuffer& TxFrame, uint8_t address, uint8_t code, bool withKey)
{
    const uint8_t n = withKey ? 8 : 6;
    TxFrame[0] = FrameStartByte;
    TxFrame[1] = address;
    TxFrame[2] = n;
    TxFrame[3] = uint8_t(256 - n);
    TxFrame[4] = code;
    if (withKey) {
        TxFrame[5] = 0x55;
        TxFrame[6] = 0xA0;
    }
}

}  // namespace

void BuildEraseMemory(TxBuffer& TxFrame, uint8_t address)
{
    Fixed(TxFrame, address, CmdEraseMemory, true);
}

void BuildUpdateBootstrap(TxBuffer& TxFrame, uint8_t address)
{
    Fixed(TxFrame, address, CmdUpdateBootstrap, true);
}

void BuildVerifyChecksum(TxBuffer& TxFrame, uint8_t address)
{
    Fixed(TxFrame, address, CmdVerifyChecksum, false);
}

void BuildResetAuditData(TxBuffer& TxFrame, uint8_t address)
{
    Fixed(TxFrame, address, CmdResetAuditData, false);
}

Bytes FlashBlockFrame(const FlashBlock& block, uint8_t FlashBank, uint8_t address)
{
    const size_t n = block.data.size() + 9;
    Bytes f = {FrameStartByte, address,          uint8_t(n), uint8_t(256 - n), CmdFlashBlock,
               FlashBank,      uint8_t(block.address >> 8), uint8_t(block.address & 0xFF)};
    f.insert(f.end(), block.data.begin(), block.data.end());
    f.push_back(XorOfBytes1To(f.data(), f.size()));
    return f;
}

bool DateStampUsesDayCount(uint8_t ImageVariant, const std::string& revision)
{
    // Revision texts compare as text, character by character.
    const char* from = VariantRow(ImageVariant).StampDayCountFrom;
    return from != nullptr && revision >= from;
}

}  // namespace kovrin
