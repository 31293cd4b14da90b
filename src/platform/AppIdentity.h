// The running program itself: its folder, its arguments, its end.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The folder that holds the running program, without a trailing separator.
std::wstring ProgramFolder();
// The process command line (GetCommandLineW on Windows).
std::wstring ProcessCommandLine();
// Everything after the program's own name (quoted or not) and the blanks and tabs after it.
std::wstring ArgumentText(const std::wstring& commandLine);
// Prepares the common controls for the message boxes.
void InitCommonControls();
// Ends the process at once with that exit code.
[[noreturn]] void EndProcess(std::uint32_t exitCode);

} // namespace platform
