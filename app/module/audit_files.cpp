#include "app/module/audit_files.h"

#include <cstring>

namespace kovrin {

KduFileInfo AuditFileEntry(AuditFileKind kind)
{
    KduFileInfo entry;
    std::memset(&entry, 0, sizeof entry);
    const bool sarnel = kind == AuditFileKind::Sarnel;
    entry.VariantId = sarnel ? SarnelVariantId : TekraVariantId;
    entry.DataFileKind = sarnel ? KduAuditKind : KduTekraAuditKind;
    entry.FileClass = KduDataFile;
    const char* name = sarnel ? SarnelAuditFileName : TekraAuditFileName;
    std::memcpy(entry.FileName, name, std::strlen(name));
    return entry;
}

std::optional<AuditFileKind> AuditFileKindOf(const KduFileList& list, uint16_t number)
{
    if (number == list.AuditFileId)
        return AuditFileKind::Sarnel;
    if (number == list.TekraAuditFileId)
        return AuditFileKind::Tekra;
    return std::nullopt;
}

}  // namespace kovrin
