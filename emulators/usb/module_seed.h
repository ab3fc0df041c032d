#pragma once
// Files for an emulated module, from a folder on disk. Each regular file of
// the folder becomes a module file of the same name. An optional
// "directory.txt" in the folder gives the directory entries, one file a line:
//
//     # class kind variant     setup calibration name
//     0       1    0x04000000  0     0           TyxAuditData.bin
//
// (numbers decimal or 0x hexadecimal; the name is the rest of the line and
// may hold blanks). Listed files come first, in the listed order; the others
// follow by name as data files (class 0, kind 0, variant 0).

#include <filesystem>
#include <string>

#include "emulators/usb/module_files.h"

namespace kovrin::emulator::usb {

inline constexpr const char* kSeedDirectoryFile = "directory.txt";

// Adds the folder's files; on failure returns what is wrong (and `files` may hold some of them).
std::string SeedModuleFiles(const std::filesystem::path& folder, ModuleFiles& files);

}  // namespace kovrin::emulator::usb
