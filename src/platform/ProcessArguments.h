// The arguments the program was started with.
#pragma once

#include <string>

namespace platform {

// The process command line (GetCommandLineW on Windows).
std::wstring ProcessCommandLine();
// Everything after the program's own name (quoted or not) and the blanks and tabs after it.
std::wstring ArgumentText(const std::wstring& commandLine);

} // namespace platform
