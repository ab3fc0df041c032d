#include "app/module/module_downloads.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "app/core/acceptor_variants.h"
#include "app/link/config_frames.h"
#include "app/module/kdu_directory.h"
#include "app/module/module_texts.h"

namespace kovrin {

std::vector<std::string> ModuleFirmwareRecords(const FirmwareImage& image, const std::array<uint8_t, 5>& date)
{
    std::vector<std::string> records = BlockTableRecords(image);
    const uint32_t checksum = image.ImageChecksum;
    records.push_back(HexRecordText(0, HexEndOfFile, {uint8_t(checksum >> 8), uint8_t(checksum)}));
    records.push_back(HexRecordText(0, 0x09, Bytes(date.begin(), date.end())));
    return records;
}

std::vector<Bytes> RecordWrites(const std::string& record)
{
    return Pieces(Bytes(record.begin(), record.end()), FirmwareWriteLength);
}

bool ModuleDateUsesCalendar(const std::string& variantName, const std::string& revision)
{
    const char* before = VariantRowOfImageName(variantName).ModuleCalendarBefore;
    return before != nullptr && revision < before;
}

std::optional<std::string> FirmwareFileName(const std::string& revision)
{
    if (revision.empty() || revision.size() > 8 ||
        !std::all_of(revision.begin(), revision.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
        return std::nullopt;
    const unsigned long value = std::stoul(revision, nullptr, 16);
    if (value > 999)
        return std::nullopt;  // the name holds three digits; more would name another revision
    std::string digits = std::to_string(value);
    digits.insert(0, 3 - digits.size(), '0');
    return "Ver   " + digits + " TYX_FW.HEX";
}

namespace {
KduFileInfo EmptyEntry(const std::string& name)
{
    KduFileInfo entry;
    std::memset(&entry, 0, sizeof entry);
    std::memcpy(entry.FileName, name.data(), std::min(name.size(), sizeof entry.FileName - 1));
    return entry;
}
}  // namespace

KduFileInfo FirmwareFileEntry(uint32_t variantId, const std::string& name)
{
    KduFileInfo entry = EmptyEntry(name);
    entry.VariantId = variantId;
    entry.FileClass = KduApplication;
    return entry;
}

KduFileInfo ConfigFileEntry(uint8_t imageVariant, uint16_t setupRevision, uint16_t calibrationRevision)
{
    const AcceptorVariantRow& row = VariantRow(imageVariant);
    KduFileInfo entry = EmptyEntry(row.ModuleConfigFile);
    entry.VariantId = row.ModuleConfigId;
    entry.DataFileKind = KduConfigKind;
    entry.SetupRevision = setupRevision;
    entry.CalibrationRevision = calibrationRevision;
    entry.FileClass = KduDataFile;
    return entry;
}

Bytes ModuleConfigContents(const EepromImage& image, int16_t length)
{
    Bytes contents(image.begin(), image.begin() + std::clamp<int16_t>(length, 0, int16_t(image.size())));
    if (!contents.empty())
        contents[0] = ConfigWriteMarker;
    return contents;
}

std::vector<Bytes> Pieces(const Bytes& bytes, size_t most)
{
    std::vector<Bytes> pieces;
    for (size_t at = 0; at < bytes.size(); at += most)
        pieces.emplace_back(bytes.begin() + long(at), bytes.begin() + long(std::min(bytes.size(), at + most)));
    return pieces;
}

}  // namespace kovrin
