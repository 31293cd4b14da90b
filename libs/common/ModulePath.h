// The full file name of a loaded module, however long.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ModulePath {

// The module's file name (the running program for nullptr); empty when the platform gives none.
inline std::wstring Of(HMODULE module) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) return std::wstring();
        // A name that fills the buffer may have been cut: try again with more room.
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace ModulePath
