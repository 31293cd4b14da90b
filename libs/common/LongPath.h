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

} // namespace LongPath
