// The file-name and number operations of QZVSP0100B.DLL without any Windows dependency. Names
// follow Windows syntax on every build: '\' and '/' separate parts, "C:" is a drive and
// "\\server\share" a UNC root.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace PathOps {

enum class RootKind {
    None,          // "Work\Tool.exe"
    DriveRelative, // "C:Tool.exe"
    DriveAbsolute, // "C:\Tool.exe"
    RootRelative,  // "\Tool.exe"
    Unc,           // "\\server\share\Tool.exe", also behind "\\?\UNC\"
};

struct Root {
    RootKind kind = RootKind::None;
    // Characters the root takes, with its separator for DriveAbsolute and RootRelative; a UNC
    // root ends with the share name.
    size_t length = 0;
};

Root RootOf(std::wstring_view name);
// True for names that do not depend on any current folder or drive.
bool IsAbsolute(std::wstring_view name);

std::wstring ReplaceFileExtension(std::wstring_view fileName, std::wstring_view newExtension);
std::wstring GetFileExtension(std::wstring_view fileName);
std::wstring GetFileName(std::wstring_view path, bool withoutExtension);
std::wstring GetFilePath(std::wstring_view fileName);
// The name resolved against the base folder as given, "." and ".." folded without climbing
// above the root; an absolute name comes back unchanged.
std::wstring GetAbsoluteFileName(std::wstring_view fileName, std::wstring_view baseFolder);
std::wstring BuildFileName(std::wstring_view folder, std::wstring_view fileName, bool quote);
std::wstring BuildFileName2(std::initializer_list<std::wstring_view> parts);

inline std::uint16_t HiWord(std::uint32_t value) {
    return static_cast<std::uint16_t>(value >> 16);
}
inline std::uint16_t LoWord(std::uint32_t value) {
    return static_cast<std::uint16_t>(value);
}
std::wstring Hex2(std::uint16_t value);

} // namespace PathOps
