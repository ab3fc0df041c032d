#include "app/link/config_frames.h"

#include <algorithm>

namespace kovrin {

bool BuildConfigurationWrite(TxBuffer& TxFrame, const EepromImage& image, int16_t length, uint8_t address)
{
    const int n = length + int(FrameHeaderLength);
    if (length < 1 || n > 255)
        return false;
    TxFrame[0] = FrameStartByte;
    TxFrame[1] = address;
    TxFrame[2] = uint8_t(n);
    TxFrame[3] = uint8_t(256 - n);
    TxFrame[4] = CmdWriteConfiguration;
    TxFrame[5] = ConfigWriteMarker;
    for (int i = 1; i < length; ++i)
        TxFrame[size_t(i + 5)] = image[size_t(i)];
    return true;
}

bool WriteCarriesAuditCounters(EepromLayout layout)
{
    const auto at = AuditCountersOffset(layout);
    return at && *at + AuditCountersLength <= size_t(EepromLengthOfLayout(layout));
}

bool SpliceAuditCounters(EepromImage& image, const Bytes& readReply, EepromLayout layout)
{
    const auto at = AuditCountersOffset(layout);
    const int length = EepromLengthOfLayout(layout);
    // Code, data, check byte: the data are the bytes between byte 4 and the last.
    if (!at || length == 0 || readReply.size() < FrameHeaderLength + size_t(length))
        return false;
    const auto from = readReply.begin() + 5 + long(*at);
    std::copy(from, from + long(AuditCountersLength), image.begin() + long(*at));
    return true;
}

}  // namespace kovrin
