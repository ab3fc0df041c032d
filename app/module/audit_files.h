#pragma once
// The two audit files a module keeps: the entries that create them, what a
// new one holds, and which of them a listed file is.

#include <optional>

#include "app/link/serial_frame.h"
#include "app/module/audit_records.h"
#include "app/module/kdu_directory.h"

namespace kovrin {

inline constexpr const char* SarnelAuditFileName = "TyxAuditData.bin";
inline constexpr const char* TekraAuditFileName = "TyxTekraAuditData.bin";

// The entry that creates the audit file of `kind`: a data file of the kind's
// variant, data-file kind and name, every other field 0.
KduFileInfo AuditFileEntry(AuditFileKind kind);

// A new audit file holds its leading byte alone; the module appends the records.
inline const Bytes NewAuditFileContents{0x00};

// Which audit file `number` is by `list`; nothing when it is neither.
std::optional<AuditFileKind> AuditFileKindOf(const KduFileList& list, uint16_t number);

}  // namespace kovrin
