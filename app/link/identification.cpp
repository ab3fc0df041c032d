#include "app/link/identification.h"

#include "app/core/acceptor_variants.h"

namespace kovrin {

std::optional<IdentificationReply> ParseIdentification(const Bytes& frame, bool normalMode)
{
    if (frame.size() < FrameHeaderLength + 2)
        return std::nullopt;
    const int lastIndex = static_cast<int>(frame.size()) - 1;
    const uint8_t variant = frame[5];
    const AcceptorVariantRow& row = VariantRow(variant);
    // A longer software text pushes the version back in frames long enough for it.
    const bool long57 = normalMode && row.SoftwareTextWidth > 10;

    const int serialEnd = 7 + row.ReplySerialLength - 1;
    const int softwareEnd = long57 ? 40 : 39;
    const int versionFirst = (long57 && lastIndex > 45) ? 42 : 40;
    // Every byte read must lie before the check byte.
    if (versionFirst + 3 >= lastIndex)
        return std::nullopt;

    const auto text = [&](int first, int last) {
        return std::string(frame.begin() + first, frame.begin() + last + 1);
    };
    IdentificationReply r;
    r.variant = variant;
    r.unitState = frame[6];
    r.serial = text(7, serialEnd);
    r.memoryReadAddress = frame[18] * 256 + frame[19];
    r.info = text(20, 29);
    r.software = text(30, softwareEnd);
    r.version = text(versionFirst, versionFirst + 3);
    return r;
}

}  // namespace kovrin
