#include "emulators/acceptor/fault_plan.h"

#include <algorithm>

#include "emulators/acceptor/reply_frame.h"

namespace kovrin::emulator {

SpoiltReply spoil(const std::vector<uint8_t>& frame, const Fault& fault)
{
    SpoiltReply out;
    switch (fault.kind) {
    case FaultKind::NoReply:
        break;
    case FaultKind::StrayLeadingBytes: {
        std::vector<uint8_t> bytes = fault.strayBytes;
        bytes.insert(bytes.end(), frame.begin(), frame.end());
        out.parts.push_back(std::move(bytes));
        break;
    }
    case FaultKind::BadCheckByte: {
        std::vector<uint8_t> bytes = frame;
        if (!bytes.empty()) bytes.back() ^= 0xFF;
        out.parts.push_back(std::move(bytes));
        break;
    }
    case FaultKind::SplitReply: {
        const auto cut = static_cast<std::ptrdiff_t>(std::min(fault.splitAt, frame.size()));
        out.parts.emplace_back(frame.begin(), frame.begin() + cut);
        out.parts.emplace_back(frame.begin() + cut, frame.end());
        out.pause = fault.pause;
        break;
    }
    case FaultKind::WrongReplyCode: {
        std::vector<uint8_t> bytes = frame;
        if (bytes.size() >= 6) {
            bytes[4] = fault.wrongCode;
            bytes.back() = checkByteFor(std::vector<uint8_t>(bytes.begin(), bytes.end() - 1));
        }
        out.parts.push_back(std::move(bytes));
        break;
    }
    case FaultKind::MissingHeader:
        out.parts.emplace_back(frame.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(2, frame.size())),
                               frame.end());
        break;
    case FaultKind::WrongChecksum: {
        std::vector<uint8_t> bytes = frame;
        if (bytes.size() >= 8) {
            const auto value = static_cast<uint16_t>((bytes[5] << 8 | bytes[6]) + 1);
            bytes[5] = static_cast<uint8_t>(value >> 8);
            bytes[6] = static_cast<uint8_t>(value & 0xFF);
            bytes.back() = checkByteFor(std::vector<uint8_t>(bytes.begin(), bytes.end() - 1));
        }
        out.parts.push_back(std::move(bytes));
        break;
    }
    case FaultKind::ShortData: {
        if (frame.size() < 6) {
            out.parts.push_back(frame);
            break;
        }
        const size_t data = std::min(fault.dataKept, frame.size() - 6);
        std::vector<uint8_t> bytes(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(5 + data));
        bytes[2] = static_cast<uint8_t>(bytes.size() + 1);
        bytes[3] = static_cast<uint8_t>(256 - bytes[2]);
        bytes.push_back(checkByteFor(bytes));
        out.parts.push_back(std::move(bytes));
        break;
    }
    }
    return out;
}

}  // namespace kovrin::emulator
