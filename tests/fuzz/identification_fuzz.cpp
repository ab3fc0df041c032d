// The identification reply, from the application (normal mode) and from the
// boot loader. Input: a mode byte (bit 0: boot loader), then the whole frame.

#include <algorithm>

#include "app/link/identification.h"
#include "tests/fuzz/fuzz_support.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const bool normalMode = !(in.Byte() & 1);
    const Bytes frame = in.Rest();
    const auto reply = ParseIdentification(frame, normalMode);
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
