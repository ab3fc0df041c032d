#include "app/module/kdu_directory.h"

#include <cctype>
#include <cstring>

#include "app/module/module_texts.h"

namespace kovrin {

namespace {

constexpr size_t ListedNameLength = 29;

// "Ver", three characters, then the revision's three decimal digits, shown again in hexadecimal.
std::string RewriteVersion(std::string line)
{
    const size_t ver = line.find("Ver");
    if (ver == std::string::npos || line.size() < ver + 9)
        return line;
    int32_t number = 0;
    for (size_t i = ver + 6; i < ver + 9 && std::isdigit(static_cast<unsigned char>(line[i])); ++i)
        number = number * 10 + (line[i] - '0');
    line.replace(ver + 6, 3, HexPad(number, 3));
    return line;
}

const char* VariantSuffix(uint32_t variantId)
{
    return variantId == SarnelVariantId ? " (Sarnel)" : variantId == TekraVariantId ? " (Tekra)" : "";
}

}  // namespace

const KduFileRow* KduFileList::Find(uint16_t number) const
{
    for (const KduFileRow& row : Lines)
        if (row.Number == number)
            return &row;
    return nullptr;
}

std::set<uint16_t> KduFileList::Numbers() const
{
    std::set<uint16_t> numbers;
    for (const KduFileRow& row : Lines)
        numbers.insert(*row.Number);
    return numbers;
}

std::string KduListedName(const KduFileInfo& info)
{
    std::string name(ListedNameLength, ' ');
    for (size_t i = 0; i < ListedNameLength; ++i) {
        const auto c = static_cast<unsigned char>(info.FileName[i]);
        if (c >= 0x20)
            name[i] = static_cast<char>(c);
    }
    return name;
}

std::string KduFileTypeText(const KduFileInfo& info)
{
    switch (info.FileClass) {
    case KduDataFile:
        return info.DataFileKind == KduAuditKind || info.DataFileKind == KduTekraAuditKind ? "Audit" : "Configuration";
    case KduBootloader1:
    case KduBootloader2:
        return "Bootloader";
    case KduApplication:
        return std::string("Application") + VariantSuffix(info.VariantId);
    case KduVariant:
        return "Variant";
    default:
        return "Unknown";
    }
}

std::string KduFileLine(const KduFileInfo& info)
{
    std::string line = std::to_string(info.FileNumber & 0xFFFF) + "\t" + KduListedName(info) + "\t";
    if (info.FileClass == KduApplication && VariantSuffix(info.VariantId)[0] != '\0')
        line = RewriteVersion(line + "Application") + VariantSuffix(info.VariantId);
    else
        line += KduFileTypeText(info);
    return line + "\t" + std::to_string(info.FileSize) + " bytes";
}

void NoteKduFile(KduFileList& list, const KduFileInfo& info)
{
    const auto number = static_cast<uint16_t>(info.FileNumber & 0xFFFF);
    const bool sarnel = info.VariantId == SarnelVariantId;
    const bool tekra = info.VariantId == TekraVariantId;
    if (info.FileClass == KduDataFile) {
        switch (info.DataFileKind) {
        case KduReadableConfigKind:
            if (sarnel || tekra)
                list.RevisionTable[number] = {info.SetupRevision, info.CalibrationRevision, uint8_t(sarnel ? 5 : 7)};
            break;
        case KduAuditKind:
            list.AuditFileId = number;
            break;
        case KduTekraAuditKind:
            list.TekraAuditFileId = number;
            break;
        default:
            list.SarnelConfigPresent |= sarnel;
            list.TekraConfigPresent |= tekra;
            break;
        }
    } else if (info.FileClass == KduApplication) {
        list.SarnelFirmwarePresent |= sarnel;
        list.TekraFirmwarePresent |= tekra;
    }
    // The columns show the line's fields, an application's revision digits as rewritten there. They
    // are taken by position: a "Ver" near the name's end has its digits rewritten over the tab after it.
    const std::string line = KduFileLine(info);
    const size_t name = line.find('\t') + 1;
    const size_t type = name + ListedNameLength + 1;
    const size_t size = line.rfind('\t');
    list.Lines.push_back(
        {number, line.substr(name, ListedNameLength), line.substr(type, size - type), info.FileSize, line});
}

KduFileList EnumerateKduFiles(const ModuleExports& exports, UsbDevice device, uint32_t maxEntries)
{
    KduFileList list;
    for (uint32_t index = 0;; ++index) {
        if (index >= maxEntries) {
            list.Capped = true;
            return list;
        }
        KduFileInfo info;
        std::memset(&info, 0, sizeof info);
        uint8_t status = 0;
        if (const UsbResult result = exports.PMEnumFile(device, index, &status, &info)) {
            list.Failure = result;
            return list;
        }
        if (status != 0) {
            list.EndStatus = status;  // past the last entry, as far as the listing can tell
            break;
        }
        NoteKduFile(list, info);
    }
    list.Complete = true;
    return list;
}

}  // namespace kovrin
