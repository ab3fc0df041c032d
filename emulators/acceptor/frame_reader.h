#pragma once
// Picks the host's frames out of the bytes the unit hears.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kovrin::emulator {

struct HostFrame {
    uint8_t address = 0;
    uint8_t command = 0;
    std::vector<uint8_t> data;
};

class FrameReader {
public:
    // Adds bytes heard and returns every complete frame whose header and check byte are good.
    std::vector<HostFrame> feed(const uint8_t* bytes, size_t count);
    // Forgets a half-heard frame (after a pause or line noise).
    void reset();
    // Bytes of an unfinished frame held.
    size_t held() const { return held_.size(); }

private:
    std::vector<uint8_t> held_;
};

}  // namespace kovrin::emulator
