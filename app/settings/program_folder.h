#pragma once

#include <QString>

namespace kovrin {

// The program's folder (where Kovrin, Kovrin.ini, the library and the COMn links are).
QString ProgramFolder();
// Tests run the program against another folder.
void SetProgramFolderForTesting(const QString& folder);

}  // namespace kovrin
