#pragma once
// What the fuzz targets share: a property check that stops the run naming the
// property, and a reader that takes the fuzzer's bytes piece by piece (past
// the end it gives zeros and empty runs, so every input is a whole case).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#define FUZZ_CHECK(condition) \
    ((condition) ? void(0) : ::kovrin::fuzz::PropertyFailed(#condition, __FILE__, __LINE__))

namespace kovrin::fuzz {

[[noreturn]] inline void PropertyFailed(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, what);
    std::abort();
}

class Input {
public:
    Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return pos_ >= size_; }
    size_t Left() const { return size_ - pos_; }
    uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    // High byte first; each read its own statement, so that the order is the input's.
    uint16_t Word()
    {
        const uint16_t high = Byte();
        return uint16_t(high << 8 | Byte());
    }
    uint32_t Long()
    {
        const uint32_t high = Word();
        return high << 16 | Word();
    }
    std::vector<uint8_t> Bytes(size_t n)
    {
        n = std::min(n, Left());
        std::vector<uint8_t> out(data_ + pos_, data_ + pos_ + n);
        pos_ += n;
        return out;
    }
    // A run whose length is the next byte.
    std::vector<uint8_t> ShortRun() { return Bytes(Byte()); }
    // A run whose length is the next two bytes, at most `max`.
    std::vector<uint8_t> Run(size_t max) { return Bytes(std::min<size_t>(Word(), max)); }
    std::string Text(size_t n)
    {
        const std::vector<uint8_t> b = Bytes(n);
        return std::string(b.begin(), b.end());
    }
    std::vector<uint8_t> Rest() { return Bytes(Left()); }
    // An object's bytes as they come, zeros after the input's end.
    template <class T>
    void Fill(T& object)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        const std::vector<uint8_t> b = Bytes(sizeof object);
        std::memset(static_cast<void*>(&object), 0, sizeof object);
        if (!b.empty())
            std::memcpy(&object, b.data(), b.size());
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// True when `piece` lies wholly inside `whole` (as a pointer range).
template <class Piece, class Whole>
bool Inside(const Piece& piece, const Whole& whole)
{
    if (piece.empty())
        return true;
    const auto* first = whole.data();
    return piece.data() >= first && piece.data() + piece.size() <= first + whole.size();
}

}  // namespace kovrin::fuzz

#include <filesystem>
#include <unistd.h>

namespace kovrin::fuzz {

// A folder of this process's own for targets that read and write files;
// removed when the process ends.
class ScratchFolder {
public:
    ScratchFolder()
        : path_(std::filesystem::temp_directory_path() / ("kovrin-fuzz-" + std::to_string(getpid())))
    {
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

}  // namespace kovrin::fuzz
