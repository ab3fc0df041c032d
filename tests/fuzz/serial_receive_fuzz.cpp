// The receive path: bytes of successive receive events go through the
// assembler; each frame it gives is handed to what the dispatcher does with
// it without a window (identification, the audit counters kept on a write).
//
// Input: a flags byte (bit 0: the header repair is armed), then events: a
// length byte and that many bytes; length 255 stands for the port reopening.

#include <algorithm>

#include "config_frames.h"
#include "fuzz_support.h"
#include "identification.h"
#include "rx_assembler.h"

using namespace kovrin;
using kovrin::fuzz::Input;

namespace {

constexpr uint8_t kReopen = 0xFF;

bool Contains(const Bytes& stream, Bytes::const_iterator first, Bytes::const_iterator last)
{
    return first == last || std::search(stream.begin(), stream.end(), first, last) != stream.end();
}

void CheckIdentification(const Bytes& frame)
{
    for (bool normalMode : {true, false}) {
        const auto reply = ParseIdentification(frame, normalMode);
        if (!reply)
            continue;
        FUZZ_CHECK(reply->variant == frame[5]);
        FUZZ_CHECK(reply->unitState == frame[6]);
        FUZZ_CHECK(reply->serial.size() == 10 || reply->serial.size() == 11);
        FUZZ_CHECK(reply->version.size() == 4);
    }
}

// The counters come out of a read reply whole, or the image stays as it was.
void CheckAuditSplice(const Bytes& frame)
{
    for (EepromLayout layout : {EepromLayout::None, EepromLayout::V5, EepromLayout::V6}) {
        EepromImage image;
        image.fill(0xA5);
        const EepromImage before = image;
        if (!SpliceAuditCounters(image, frame, layout)) {
            FUZZ_CHECK(image == before);
            continue;
        }
        const size_t at = *AuditCountersOffset(layout);
        FUZZ_CHECK(frame.size() >= FrameHeaderLength + size_t(EepromLengthOfLayout(layout)));
        for (size_t i = 0; i < image.size(); ++i) {
            const bool counter = i >= at && i < at + AuditCountersLength;
            FUZZ_CHECK(image[i] == (counter ? frame[5 + i] : before[i]));
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    RxAssembler rx;
    rx.InsertRxHeader = in.Byte() & 1;
    uint8_t ReplyCode = 0;
    Bytes stream;          // what arrived since the last frame or reopening
    bool repaired = false;  // the frame being held got 0x27 0x08 put in front

    while (!in.Empty()) {
        const uint8_t length = in.Byte();
        if (length == kReopen) {
            rx.Clear();
            stream.clear();
            repaired = false;
            FUZZ_CHECK(!rx.RxHeaderFound && rx.RxFrame().empty());
            continue;
        }
        const Bytes bytes = in.Bytes(length);
        stream.insert(stream.end(), bytes.begin(), bytes.end());
        const bool repairArmed = rx.InsertRxHeader;
        const auto frame = rx.Feed(bytes, ReplyCode);
        FUZZ_CHECK(!rx.InsertRxHeader || repairArmed);  // armed only from outside
        if (repairArmed && !rx.InsertRxHeader && (frame || rx.RxHeaderFound))
            repaired = true;

        if (!frame) {
            // Held bytes are a header's start, or a frame still short of its length.
            if (rx.RxHeaderFound) {
                FUZZ_CHECK(IsReplyHeader(rx.RxFrame()));
                FUZZ_CHECK(rx.RxFrame().size() < rx.RxFrame()[2]);
                FUZZ_CHECK(ReplyCode == rx.RxFrame()[4]);
            } else {
                FUZZ_CHECK(rx.RxFrame().size() < FrameHeaderLength);
            }
            continue;
        }
        const Bytes& f = frame->bytes;
        FUZZ_CHECK(IsReplyHeader(f));
        FUZZ_CHECK(f.size() == f[2]);
        FUZZ_CHECK(ReplyCode == f[4]);
        FUZZ_CHECK(frame->checksumOk == (XorOfBytes1To(f.data(), f.size()) == 0));
        FUZZ_CHECK(frame->checksumOk == CheckReplyChecksum(f));
        FUZZ_CHECK(!rx.RxHeaderFound && rx.RxFrame().empty());
        // Every byte of the frame arrived, apart from the two a repair puts in front.
        FUZZ_CHECK(Contains(stream, f.begin() + (repaired ? 2 : 0), f.end()));
        stream.clear();
        repaired = false;

        if (!frame->checksumOk)
            continue;  // dropped without a word
        CheckIdentification(f);
        CheckAuditSplice(f);
    }
    return 0;
}
