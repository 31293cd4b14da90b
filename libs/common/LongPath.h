// File names at any length for the wide file functions, shared by the program and its libraries.
#pragma once

#include <windows.h>

#include <string>

namespace LongPath {

// The name as the wide file functions take it at any length: unchanged while it is short enough
// for every one of them (folders stop at 248 characters), otherwise its full form behind "\\?\",
// which lifts the limit. That form is taken literally, so it is made from the full name, with
// "." and ".." folded and every "/" turned into "\".
inline std::wstring ForFileApi(const std::wstring& name) {
    constexpr size_t kShortEnough = MAX_PATH - 12;
    if (name.size() < kShortEnough || name.rfind(L"\\\\?\\", 0) == 0) return name;
    DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
    if (size == 0) return name;
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(name.c_str(), size, full.data(), nullptr);
    if (size == 0 || size >= full.size()) return name;
    full.resize(size);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// The name as the platform's module and type-library loaders take it: they stop at the old
// 260-character limit (Wine's do even for the long form), so a long name is handed over in its
// short form, where the volume keeps short names, and in the long form otherwise.
inline std::wstring ForLoader(const std::wstring& name) {
    const std::wstring longName = ForFileApi(name);
    if (longName == name) return name;
    DWORD size = GetShortPathNameW(longName.c_str(), nullptr, 0);
    if (size != 0) {
        std::wstring shortName(size, L'\0');
        size = GetShortPathNameW(longName.c_str(), shortName.data(), size);
        if (size != 0 && size < shortName.size()) {
            shortName.resize(size);
            if (shortName.rfind(L"\\\\?\\UNC\\", 0) == 0) {
                shortName = L"\\\\" + shortName.substr(8);
            } else if (shortName.rfind(L"\\\\?\\", 0) == 0) {
                shortName = shortName.substr(4);
            }
            if (shortName.size() < MAX_PATH) return shortName;
        }
    }
    return longName;
}

} // namespace LongPath
