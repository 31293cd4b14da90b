#include "platform/ProcessArguments.h"

#include <windows.h>

namespace platform {

std::wstring ProcessCommandLine() {
    const wchar_t* line = GetCommandLineW();
    return line ? std::wstring(line) : std::wstring();
}

} // namespace platform
