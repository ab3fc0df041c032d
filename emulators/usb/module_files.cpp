#include "emulators/usb/module_files.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace kovrin::emulator::usb {
namespace {

using namespace module_status;

uint32_t Get(std::span<const uint8_t> bytes, size_t at, size_t width)
{
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i)
        value = value << 8 | bytes[at + i];
    return value;
}

void Put(std::span<uint8_t> bytes, size_t at, size_t width, uint32_t value)
{
    for (size_t i = 0; i < width; ++i)
        bytes[at + i] = uint8_t(value >> (8 * (width - 1 - i)));
}

}  // namespace

std::string ModuleFile::NameText() const
{
    auto end = std::find(Name.begin(), Name.end(), uint8_t(0));
    return std::string(Name.begin(), end);
}

void ModuleFile::SetName(const std::string& name)
{
    Name.fill(0);
    std::memcpy(Name.data(), name.data(), std::min(name.size(), Name.size()));
}

uint32_t ModuleFile::Sum() const { return std::accumulate(Contents.begin(), Contents.end(), uint32_t(0)); }

ModuleFiles::ModuleFiles(uint32_t capacity) : capacity_(capacity) {}

uint32_t ModuleFiles::FreeBytes() const
{
    uint64_t used = 0;
    for (const ModuleFile& f : files_)
        used += f.Contents.size();
    return used >= capacity_ ? 0 : uint32_t(capacity_ - used);
}

std::optional<uint16_t> ModuleFiles::FreeNumber() const
{
    // The lowest number not in use, from 1.
    for (uint32_t n = 1; n <= 0xFFFF; ++n)
        if (std::none_of(files_.begin(), files_.end(), [n](const ModuleFile& f) { return f.Number == n; }))
            return uint16_t(n);
    return std::nullopt;
}

ModuleFile* ModuleFiles::Find(uint16_t number)
{
    auto it = std::find_if(files_.begin(), files_.end(), [number](const ModuleFile& f) { return f.Number == number; });
    return it == files_.end() ? nullptr : &*it;
}

uint8_t ModuleFiles::Create(std::span<const uint8_t, kCreateLength> e)
{
    if (corrupt_)
        return FileCorrupt;
    if (mode_ != Mode::None)
        return FileAlreadyOpen;
    std::optional<uint16_t> number = FreeNumber();
    if (!number)
        return NoSpace;
    ModuleFile file;
    file.Number = *number;
    file.VariantId = Get(e, 0, 4);
    file.Value1 = Get(e, 4, 4);
    file.Value2 = Get(e, 8, 4);
    file.DataFileKind = uint16_t(Get(e, 12, 2));
    file.SetupRevision = uint16_t(Get(e, 14, 2));
    file.CalibrationRevision = uint16_t(Get(e, 16, 2));
    file.Value3 = uint16_t(Get(e, 18, 2));
    file.Value4 = uint16_t(Get(e, 20, 2));
    file.FileClass = e[22];
    std::copy(e.begin() + 23, e.begin() + 23 + kNameLength, file.Name.begin());
    files_.push_back(std::move(file));
    mode_ = Mode::Writing;
    current_ = *number;
    return Ok;
}

uint8_t ModuleFiles::Write(std::span<const uint8_t> data)
{
    if (corrupt_)
        return FileCorrupt;
    ModuleFile* file = mode_ == Mode::Writing ? Find(current_) : nullptr;
    if (!file)
        return InvalidFile;
    if (data.size() > FreeBytes())
        return NoSpace;
    file->Contents.insert(file->Contents.end(), data.begin(), data.end());
    return Ok;
}

uint8_t ModuleFiles::Close()
{
    if (mode_ == Mode::None)
        return InvalidFile;
    mode_ = Mode::None;
    return Ok;
}

uint8_t ModuleFiles::OpenForRead(uint16_t number)
{
    if (corrupt_)
        return FileCorrupt;
    if (mode_ != Mode::None)
        return FileAlreadyOpen;
    if (!Find(number))
        return InvalidFile;
    mode_ = Mode::Reading;
    current_ = number;
    readPosition_ = 0;
    return Ok;
}

uint8_t ModuleFiles::Read(std::vector<uint8_t>& piece)
{
    piece.clear();
    if (corrupt_)
        return FileCorrupt;
    ModuleFile* file = mode_ == Mode::Reading ? Find(current_) : nullptr;
    if (!file)
        return InvalidFile;
    size_t n = std::min(kReadPiece, file->Contents.size() - readPosition_);
    piece.assign(file->Contents.begin() + readPosition_, file->Contents.begin() + readPosition_ + n);
    readPosition_ += n;
    return Ok;
}

uint8_t ModuleFiles::Delete(uint16_t number)
{
    if (corrupt_)
        return FileCorrupt;
    if (!Find(number))
        return InvalidFile;
    if (mode_ != Mode::None && current_ == number)
        return FileAlreadyOpen;
    std::erase_if(files_, [number](const ModuleFile& f) { return f.Number == number; });
    return Ok;
}

uint8_t ModuleFiles::Enumerate(uint16_t index, std::array<uint8_t, kEntryLength>& e) const
{
    if (corrupt_)
        return FileCorrupt;
    if (index >= files_.size())
        return InvalidFile;
    const ModuleFile& f = files_[index];
    Put(e, 0, 2, f.Number);
    Put(e, 2, 4, f.VariantId);
    Put(e, 6, 4, f.Value1);
    Put(e, 10, 4, f.Value2);
    Put(e, 14, 2, f.DataFileKind);
    Put(e, 16, 2, f.SetupRevision);
    Put(e, 18, 2, f.CalibrationRevision);
    Put(e, 20, 2, f.Value3);
    Put(e, 22, 2, f.Value4);
    e[24] = f.FileClass;
    std::copy(f.Name.begin(), f.Name.end(), e.begin() + 25);
    Put(e, 54, 4, f.Sum());
    Put(e, 58, 4, uint32_t(f.Contents.size()));
    return Ok;
}

uint8_t ModuleFiles::Check() const { return corrupt_ ? FileCorrupt : Ok; }

uint8_t ModuleFiles::Format()
{
    files_.clear();
    mode_ = Mode::None;
    corrupt_ = false;
    return Ok;
}

bool ModuleFiles::Add(ModuleFile file)
{
    std::optional<uint16_t> number = FreeNumber();
    if (!number || file.Contents.size() > FreeBytes())
        return false;
    file.Number = *number;
    files_.push_back(std::move(file));
    return true;
}

void ModuleFiles::SetCorrupt(bool corrupt) { corrupt_ = corrupt; }

}  // namespace kovrin::emulator::usb
