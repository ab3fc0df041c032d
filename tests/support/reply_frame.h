#pragma once
// Frames as the acceptor sends them, for the tests.

#include "app/link/serial_frame.h"

namespace kovrin::test {

// A frame from the acceptor with the given code and data, check byte included.
inline Bytes ReplyFrame(uint8_t code, const Bytes& data = {})
{
    const size_t n = data.size() + FrameHeaderLength;
    Bytes f = {FrameStartByte, AcceptorFrameAddress, uint8_t(n), uint8_t(256 - n), code};
    f.insert(f.end(), data.begin(), data.end());
    uint8_t x = 0;
    for (size_t i = 1; i < f.size(); ++i)
        x ^= f[i];
    f.push_back(x);
    return f;
}

inline Bytes Join(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace kovrin::test
