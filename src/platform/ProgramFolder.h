// Where the running program is installed: LINK2.EXE and the shared scripts sit beside it.
#pragma once

#include <string>

namespace platform {

// The folder that holds the running program, without a trailing separator.
std::wstring ProgramFolder();

} // namespace platform
