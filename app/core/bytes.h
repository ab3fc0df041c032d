#pragma once
// A run of bytes as frames, files and module transfers carry them.

#include <cstdint>
#include <vector>

namespace kovrin {

using Bytes = std::vector<uint8_t>;

}  // namespace kovrin
