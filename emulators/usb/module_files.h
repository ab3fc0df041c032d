#pragma once
// The programming module's filing system: files with 16-bit numbers and a
// directory entry each, a capacity in bytes, and one current file that a
// create opens for writing or an open opens for reading until the close.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kovrin::emulator::usb {

// The module's status byte.
namespace module_status {
constexpr uint8_t Ok = 0;
constexpr uint8_t UnableToRespond = 1;
constexpr uint8_t NoSpace = 2;
constexpr uint8_t FileAlreadyOpen = 3;
constexpr uint8_t InvalidFile = 5;
constexpr uint8_t FileCorrupt = 6;
}  // namespace module_status

constexpr size_t kNameLength = 29;
constexpr size_t kEntryLength = 62;   // enumeration reply after the status byte
constexpr size_t kCreateLength = 52;  // create request after the command byte
constexpr size_t kReadPiece = 255;

struct ModuleFile {
    uint16_t Number = 0;
    uint32_t VariantId = 0;
    uint32_t Value1 = 0;
    uint32_t Value2 = 0;
    uint16_t DataFileKind = 0;
    uint16_t SetupRevision = 0;
    uint16_t CalibrationRevision = 0;
    uint16_t Value3 = 0;
    uint16_t Value4 = 0;
    uint8_t FileClass = 0;
    std::array<uint8_t, kNameLength> Name{};
    std::vector<uint8_t> Contents;

    // The name up to its first zero byte.
    std::string NameText() const;
    void SetName(const std::string& name);
    // Value 5 of the entry: the 32-bit sum of the file's bytes.
    uint32_t Sum() const;
};

class ModuleFiles {
public:
    explicit ModuleFiles(uint32_t capacity);

    uint8_t Create(std::span<const uint8_t, kCreateLength> entry);
    uint8_t Write(std::span<const uint8_t> data);
    uint8_t Close();
    uint8_t OpenForRead(uint16_t number);
    // The next piece of at most 255 bytes; empty at the end of the file.
    uint8_t Read(std::vector<uint8_t>& piece);
    uint8_t Delete(uint16_t number);
    uint8_t Enumerate(uint16_t index, std::array<uint8_t, kEntryLength>& entry) const;
    uint8_t Check() const;
    uint8_t Format();

    // Adds a whole file (seeding); false when the capacity or the numbers run out.
    bool Add(ModuleFile file);
    // A damaged filing system answers "file corrupt" until it is formatted.
    void SetCorrupt(bool corrupt);

    const std::vector<ModuleFile>& Files() const { return files_; }
    uint32_t Capacity() const { return capacity_; }
    uint32_t FreeBytes() const;
    bool FileOpen() const { return mode_ != Mode::None; }

private:
    enum class Mode { None, Writing, Reading };

    std::optional<uint16_t> FreeNumber() const;
    ModuleFile* Find(uint16_t number);

    const uint32_t capacity_;
    std::vector<ModuleFile> files_;  // in directory order
    Mode mode_ = Mode::None;
    uint16_t current_ = 0;
    size_t readPosition_ = 0;
    bool corrupt_ = false;
};

}  // namespace kovrin::emulator::usb
