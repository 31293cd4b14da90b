#include "platform/MessageBox.h"

#include "AppInfo.h"
#include "platform/AnsiFile.h"
#include "support/AppError.h"

#include <windows.h>

namespace platform {

Answer ShowBox(const std::wstring& text, Icon icon, Buttons buttons) {
    UINT flags = MB_TASKMODAL | MB_SETFOREGROUND;
    flags |= buttons == Buttons::OkCancel ? MB_OKCANCEL : MB_OK;
    switch (icon) {
    case Icon::Information:
        flags |= MB_ICONINFORMATION;
        break;
    case Icon::Error:
        flags |= MB_ICONERROR;
        break;
    case Icon::Warning:
        flags |= MB_ICONWARNING;
        break;
    }
    // Without a display the box cannot be shown and the call fails at once: that is no OK.
    int result = MessageBoxW(nullptr, text.c_str(), VEXMOR_TITLE_W, flags);
    return result == IDOK ? Answer::Ok : Answer::Cancel;
}

void WriteErrorLine(const std::wstring& line) {
    HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        // In pieces the console always takes, never splitting a surrogate pair.
        constexpr size_t kPiece = 8192;
        for (size_t at = 0; at < line.size();) {
            size_t count = line.size() - at < kPiece ? line.size() - at : kPiece;
            if (count == kPiece && IS_HIGH_SURROGATE(line[at + count - 1])) --count;
            DWORD written = 0;
            if (!WriteConsoleW(handle, line.data() + at, static_cast<DWORD>(count), &written,
                               nullptr) ||
                written == 0) {
                return;
            }
            at += written;
        }
        return;
    }
    // A pipe or a file is read as the console's text would be; without a console, in the
    // code page consoles start with.
    UINT codePage = GetConsoleOutputCP();
    if (codePage == 0) codePage = GetOEMCP();
    std::string bytes;
    try {
        bytes = ToCodePage(line, codePage);
    } catch (const AppError&) {
        return;
    }
    for (size_t at = 0; at < bytes.size();) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes.data() + at, static_cast<DWORD>(bytes.size() - at), &written,
                       nullptr) ||
            written == 0) {
            return;
        }
        at += written;
    }
}

std::optional<std::wstring> EnvironmentValue(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return std::nullopt;
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
    if (length >= size) return std::nullopt; // changed in between: not what was asked for
    value.resize(length);
    return value;
}

} // namespace platform
