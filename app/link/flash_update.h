#pragma once
// The firmware update's step machine: erase, blocks, boot strap, checksum,
// each retried three times, ending in success or one of five results.

#include <string>
#include <vector>

#include "app/core/firmware_image.h"
#include "app/link/serial_frame.h"

namespace kovrin {

// What the step machine needs of the link.
class FlashUpdateHost {
public:
    virtual ~FlashUpdateHost() = default;
    virtual void SendEraseMemory() = 0;
    virtual void SendUpdateBootstrap() = 0;
    virtual void SendVerifyChecksum() = 0;
    // False when the frame could not be written.
    virtual bool SendFlashBlock(const FlashBlock& block, uint8_t FlashBank) = 0;
    virtual void SendWakeByte() = 0;
    virtual void Pause(int ms) = 0;
    virtual void ArmGuard(int ms) = 0;
    // The checksum matched: reset the audit data, return to the normal speed.
    virtual void UpdateVerified() = 0;
};

// What the step machine has the window show.
class FlashUpdateDisplay {
public:
    virtual ~FlashUpdateDisplay() = default;
    virtual void ShowStatus(const std::string& text) = 0;
    virtual void ShowProgress(int percent) = 0;
    virtual void ShowDeviceChecksum(const std::string& hexDigits) = 0;
    virtual void CountBlockRetry() = 0;
    virtual void CountBootstrapRetry() = 0;
    virtual void ButtonsBusy() = 0;
};

enum FlashResultCode : int32_t {
    FlashNoResult = 0,
    FlashEraseFailed = 1,
    FlashBlockFailed = 2,
    FlashBootstrapFailed = 3,
    FlashChecksumFailed = 4,
    FlashPowerCycleNeeded = 5,
};

class FlashUpdate {
public:
    FlashUpdate(FlashUpdateHost& host, FlashUpdateDisplay& display) : host_(host), display_(display) {}

    // A new update with this image; `sameVariant` tells whether the image is
    // for the attached acceptor's variant.
    void Start(const std::vector<FlashBlock>* table, uint32_t ImageChecksum, bool sameVariant);

    // One reply (or 0xAA for none) to a command of the update. `frame` is the
    // received frame, empty for a time-out. Returns the result to report.
    int32_t OnReply(uint8_t code, const Bytes& frame, bool& ConfigWritePending);

    // Sends the block at FlashBlockNo, or the boot-strap request after the last one.
    void SendNextFlashBlock();

    int32_t FlashStep = 0;
    int32_t FlashResult = FlashNoResult;
    int16_t FlashRetryCount = 0;
    int32_t FlashBlockNo = 0;
    uint8_t FlashBank = 0;

private:
    int32_t BlockCount() const { return table_ ? int32_t(table_->size()) : 0; }
    bool Failed() { return ++FlashRetryCount >= 4; }
    void CompareChecksum(const Bytes& frame);

    FlashUpdateHost& host_;
    FlashUpdateDisplay& display_;
    const std::vector<FlashBlock>* table_ = nullptr;
    uint32_t checksum_ = 0;
    bool sameVariant_ = false;
};

// "Program Failed at Block #41" and the other result texts; empty for 0 and 5.
std::string FlashResultText(int32_t result, int32_t FlashBlockNo);

}  // namespace kovrin
