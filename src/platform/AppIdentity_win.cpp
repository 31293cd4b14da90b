#include "platform/AppIdentity.h"

#include <windows.h>
#include <commctrl.h>

#include <vector>

namespace platform {

std::wstring ProgramFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::wstring();
        if (length < buffer.size()) {
            std::wstring path(buffer.data(), length);
            size_t slash = path.find_last_of(L"\\/");
            return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring ProcessCommandLine() {
    const wchar_t* line = GetCommandLineW();
    return line ? std::wstring(line) : std::wstring();
}

void InitCommonControls() { ::InitCommonControls(); }

void EndProcess(std::uint32_t exitCode) { ::ExitProcess(exitCode); }

} // namespace platform
