#include "app/link/flash_update.h"

#include <cmath>

#include "app/config/eeprom_record.h"
#include "app/core/hex_digits.h"

namespace kovrin {

void FlashUpdate::Start(const std::vector<FlashBlock>* table, uint32_t ImageChecksum, bool sameVariant)
{
    table_ = table;
    checksum_ = ImageChecksum;
    sameVariant_ = sameVariant;
    FlashResult = FlashNoResult;
    FlashRetryCount = 0;
    FlashBlockNo = 0;
    FlashBank = 0;
    FlashStep = 1;
}

void FlashUpdate::SendNextFlashBlock()
{
    // Bounded by the table: running off its end is treated as its end.
    while (FlashBlockNo < BlockCount()) {
        const FlashBlock& block = (*table_)[size_t(FlashBlockNo)];
        switch (block.type) {
        case HexData: {
            if (FlashRetryCount == 0)  // a retry keeps its own text showing
                display_.ShowStatus("Programming Block " + std::to_string(FlashBlockNo) + " of " +
                                 std::to_string(BlockCount()));
            if (!host_.SendFlashBlock(block, FlashBank)) {
                FlashResult = FlashBlockFailed;
                return;
            }
            host_.ArmGuard(500);
            ++FlashBlockNo;
            display_.ShowProgress(int(std::nearbyint(100.0 * FlashBlockNo / BlockCount())));
            return;
        }
        case HexSegmentAddress:
            // Sets the bank; the entry after it goes by its own type.
            if (!block.data.empty()) {
                switch (block.data[0]) {
                case 0x00: FlashBank = 0; break;
                case 0x10: FlashBank = 1; break;
                case 0x20: FlashBank = 2; break;
                case 0x30: FlashBank = 3; break;
                default: break;
                }
            }
            ++FlashBlockNo;
            continue;
        case HexEndOfFile:
            break;
        default:
            ++FlashBlockNo;  // nothing the boot loader knows; never sent
            continue;
        }
        break;
    }
    FlashBank = 0;
    display_.ShowStatus("Updating Bootstrap . . .");
    host_.SendUpdateBootstrap();
    FlashRetryCount = 0;
    host_.ArmGuard(2000);
    FlashStep = 4;
}

void FlashUpdate::CompareChecksum(const Bytes& frame)
{
    uint32_t device = checksum_;  // a plain acknowledgement vouches for the sum
    if (frame.size() >= 5 && frame[4] != ReplyAcknowledge) {
        display_.ShowDeviceChecksum(ByteToHex(frame[5]) + ByteToHex(frame[6]));
        device = frame[5] * 256u + frame[6];
    }
    if (device == checksum_) {
        display_.ShowStatus("Resetting Audit Data . . .");
        host_.UpdateVerified();
    } else {
        FlashResult = FlashChecksumFailed;
    }
}

int32_t FlashUpdate::OnReply(uint8_t code, const Bytes& frame, bool& ConfigWritePending)
{
    const std::string n = std::to_string(FlashRetryCount + 1);
    switch (FlashStep) {
    case 0:
        FlashRetryCount = 0;
        FlashResult = FlashNoResult;
        break;
    case 1:
        host_.SendEraseMemory();
        FlashRetryCount = 0;
        host_.ArmGuard(2000);
        display_.ShowStatus("Erasing . . . #0");
        display_.ButtonsBusy();
        FlashStep = 2;
        break;
    case 2:
        if (code == CmdEraseMemory) {
            display_.ShowStatus("Erased Successfully");
            display_.ShowProgress(100);
            FlashBlockNo = 0;
            FlashBank = 0;
            FlashRetryCount = 0;
            FlashStep = 3;
            SendNextFlashBlock();
        } else if (Failed()) {
            FlashResult = FlashEraseFailed;
        } else {
            host_.SendWakeByte();
            host_.Pause(500);
            host_.SendEraseMemory();
            host_.ArmGuard(2000);
            display_.ShowStatus("Erasing . . . #" + n);
            display_.ButtonsBusy();
        }
        break;
    case 3:
        if (code == CmdFlashBlock) {
            FlashRetryCount = 0;
            SendNextFlashBlock();
            break;
        }
        --FlashBlockNo;  // the block that failed goes again
        if (FlashBlockNo < 0)
            FlashBlockNo = 0;
        if (Failed()) {
            FlashResult = FlashBlockFailed;
            break;
        }
        display_.ShowStatus("Retry #" + n + " => Block " + std::to_string(FlashBlockNo));
        display_.CountBlockRetry();
        SendNextFlashBlock();
        break;
    case 4:
        if (code == CmdUpdateBootstrap) {
            if (ConfigWritePending) {
                ConfigWritePending = false;
                host_.ArmGuard(500);
                break;
            }
            host_.SendVerifyChecksum();
            FlashRetryCount = 0;
            host_.ArmGuard(3000);
            display_.ShowStatus("Verifying Checksum . . .");
            FlashStep = 5;
        } else if (Failed()) {
            FlashResult = sameVariant_ ? FlashBootstrapFailed : FlashPowerCycleNeeded;
        } else {
            display_.ShowStatus("Updating Bootstrap . . #" + n);
            host_.SendUpdateBootstrap();
            display_.CountBootstrapRetry();
            host_.ArmGuard(2000);
        }
        break;
    case 5: {
        // A checksum reply must hold its two bytes.
        const bool usable = code == CmdVerifyChecksum &&
                            (frame.size() >= 8 || (frame.size() >= 5 && frame[4] == ReplyAcknowledge));
        if (usable) {
            CompareChecksum(frame);
        } else if (Failed()) {
            FlashResult = sameVariant_ ? FlashChecksumFailed : FlashPowerCycleNeeded;
        } else {
            host_.SendVerifyChecksum();
            display_.ShowStatus("Verifying Checksum . . .");
            host_.ArmGuard(3000);
        }
        break;
    }
    default:
        break;
    }
    return FlashResult;
}

std::string FlashResultText(int32_t result, int32_t FlashBlockNo)
{
    switch (result) {
    case FlashEraseFailed:
        return "Memory Erase Failed!";
    case FlashBlockFailed:
        return "Program Failed at Block #" + std::to_string(FlashBlockNo);
    case FlashBootstrapFailed:
        return "Bootstrap Corrupted. Memory Error!";
    case FlashChecksumFailed:
        return "Memory Checksum Error!";
    default:
        return "";
    }
}

}  // namespace kovrin
