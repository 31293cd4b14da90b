// The environment support library's operations as the program calls them. Each wrapper calls
// the library and turns a failure status (negative) into an AppError. File names follow Windows
// syntax: '\' and '/' separate, drive letters and UNC names are understood.
#pragma once

#include <cstdint>
#include <string>

namespace QZVSP0100B {

// Records the program's own full path for this process; true when recorded.
bool RegisterAppPath();
// Whether the program runs unbuilt inside its development environment: never for a built one.
bool IsInIDE();
// The program's own hidden main window, created on first use: a message-only window, which
// broadcasts do not reach.
std::uintptr_t GetMainWindowHandle();
// True when the name is an existing file (a folder is not a file).
bool IsFileExist(const std::wstring& fileName);
// The name with its last extension replaced by newExtension (given without the dot);
// a name without an extension gets one.
std::wstring ReplaceFileExtension(const std::wstring& fileName, const std::wstring& newExtension);
// The extension of the last path part, without the dot, in its own case; empty when none.
std::wstring GetFileExtension(const std::wstring& fileName);
// The part after the last separator; without its extension when withoutExtension is true.
std::wstring GetFileName(const std::wstring& path, bool withoutExtension);
// The folder of the name, without a trailing separator except at a root ("C:\");
// empty for a bare name.
std::wstring GetFilePath(const std::wstring& fileName);
// A relative name resolved against the base folder (itself made absolute against the current
// folder), with "." and ".." parts folded; an absolute name comes back unchanged.
std::wstring GetAbsoluteFileName(const std::wstring& fileName, const std::wstring& baseFolder);
// The folder for temporary files, with a trailing separator.
std::wstring GetTempFolder();
// Folder and name joined by exactly one separator; quoted when quote is true.
std::wstring BuildFileName(const std::wstring& folder, const std::wstring& fileName, bool quote);
// The same joining over up to nine parts; empty parts are skipped.
std::wstring BuildFileName2(const std::wstring& folder, const std::wstring& fileName,
                            const std::wstring& part3, const std::wstring& part4,
                            const std::wstring& part5, const std::wstring& part6,
                            const std::wstring& part7, const std::wstring& part8,
                            const std::wstring& part9);
bool IsHostWinNT();
bool IsHostWin9x();
std::uint16_t HiWord(std::uint32_t value);
std::uint16_t LoWord(std::uint32_t value);
// Exactly four upper-case hexadecimal digits.
std::wstring Hex2(std::uint16_t value);

} // namespace QZVSP0100B
