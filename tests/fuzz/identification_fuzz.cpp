// The identification reply, from the application (normal mode) and from the
// boot loader. Input: a mode byte (bit 0: boot loader), then the whole frame.
// Every field is checked against the reply's byte positions as written here,
// and the variant's name and frame address against a variant table of the targets' own.

#include <algorithm>

#include "app/link/acceptor_variant.h"
#include "app/link/identification.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/serial_reference.h"

using namespace kovrin;
using kovrin::fuzz::Input;

namespace {

// The text lies in the frame's data, before the check byte.
bool FromData(const Bytes& frame, const std::string& text)
{
    const auto dataEnd = frame.end() - 1;
    const auto same = [](uint8_t byte, char c) { return byte == uint8_t(c); };
    return std::search(frame.begin() + 5, dataEnd, text.begin(), text.end(), same) != dataEnd;
}

// Frame bytes `first` to `last` as characters, one a byte.
std::string Chars(const Bytes& frame, size_t first, size_t last)
{
    std::string s;
    for (size_t i = first; i <= last; ++i)
        s += char(frame[i]);
    return s;
}

// The fields by position: variant 5, unit state 6, the serial number from 7
// (11 characters for variants 5, 7 and 9, else 10), the memory address at 18
// and 19 high byte first, 10 characters of information from 20, the software
// text from 30 (11 characters for variants 5 and 7 in normal mode, else 10),
// the version's 4 characters from 40, or for variants 5 and 7 in normal mode
// from 42 when the frame's last index is above 45. Nothing is read from the
// check byte.
void CheckByPositions(const Bytes& frame, bool normalMode, const std::optional<IdentificationReply>& reply)
{
    if (frame.size() >= 6) {
        const fuzz::VariantEntry entry = fuzz::VariantByCode(frame[5]);
        FUZZ_CHECK(VariantName(frame[5]) == entry.name);
        FUZZ_CHECK(FrameAddressOf(frame[5]) == entry.frameAddress);
    }
    if (frame.size() < 8) {
        FUZZ_CHECK(!reply);
        return;
    }
    const uint8_t v = frame[5];
    const size_t last = frame.size() - 1;
    const bool wide = normalMode && (v == 5 || v == 7);
    const size_t serialLast = (v == 5 || v == 7 || v == 9) ? 17 : 16;
    const size_t softwareLast = wide ? 40 : 39;
    const size_t versionFirst = wide && last > 45 ? 42 : 40;
    if (versionFirst + 3 >= last) {
        FUZZ_CHECK(!reply);
        return;
    }
    FUZZ_CHECK(reply.has_value());
    if (!reply)
        return;
    FUZZ_CHECK(reply->variant == v);
    FUZZ_CHECK(reply->unitState == frame[6]);
    FUZZ_CHECK(reply->serial == Chars(frame, 7, serialLast));
    FUZZ_CHECK(reply->memoryReadAddress == frame[18] * 256 + frame[19]);
    FUZZ_CHECK(reply->info == Chars(frame, 20, 29));
    FUZZ_CHECK(reply->software == Chars(frame, 30, softwareLast));
    FUZZ_CHECK(reply->version == Chars(frame, versionFirst, versionFirst + 3));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const bool normalMode = !(in.Byte() & 1);
    const Bytes frame = in.Rest();
    const auto reply = ParseIdentification(frame, normalMode);
    CheckByPositions(frame, normalMode, reply);
    // The shortest reply that holds every field: up to the version at 40..43, then the check byte.
    if (frame.size() < 45) {
        FUZZ_CHECK(!reply);
        return 0;
    }
    FUZZ_CHECK(reply.has_value());
    const uint8_t variant = frame[5];
    FUZZ_CHECK(reply->variant == variant);
    FUZZ_CHECK(reply->unitState == frame[6]);
    const bool longSerial = variant == 5 || variant == 7 || variant == 9;
    FUZZ_CHECK(reply->serial.size() == (longSerial ? 11u : 10u));
    FUZZ_CHECK(std::equal(reply->serial.begin(), reply->serial.end(), frame.begin() + 7,
                          [](char c, uint8_t byte) { return uint8_t(c) == byte; }));
    FUZZ_CHECK(reply->memoryReadAddress == frame[18] * 256 + frame[19]);
    FUZZ_CHECK(reply->info.size() == 10);
    FUZZ_CHECK(reply->software.size() == 10 || reply->software.size() == 11);
    FUZZ_CHECK(reply->version.size() == 4);
    for (const std::string* text : {&reply->serial, &reply->info, &reply->software, &reply->version})
        FUZZ_CHECK(FromData(frame, *text));
    return 0;
}
