// Text files in the system's ANSI code page, and safe replacement of a file's content.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The text in the ANSI code page. A character the code page lacks becomes its default character
// (never a look-alike); *exact, when given, tells whether every character was kept. A failed
// conversion, either way, throws AppError with the platform's error code: never an empty text.
std::string ToAnsi(const std::wstring& text, bool* exact = nullptr);
// The same in any code page the platform converts to (the console's, say).
std::string ToCodePage(const std::wstring& text, std::uint32_t codePage, bool* exact = nullptr);
std::wstring FromAnsi(const std::string& bytes);

// Reads the whole file. False when it cannot be opened, measured, read or closed, with the
// platform's error code in *error when given.
bool ReadWholeFile(const std::wstring& fileName, std::string& bytes,
                   std::uint32_t* error = nullptr);

// Replaces the file's content with bytes: written whole to a temporary file in the same folder,
// then moved over the old file. On any failure the old file stays as it was and no temporary
// file is left behind. False on failure, with the platform's error code in *error when given
// (32, a sharing violation, whenever another program holds the file open).
bool ReplaceFileContent(const std::wstring& fileName, const std::string& bytes,
                        std::uint32_t* error = nullptr);

// Copies the file to a new file beside it, of a name no file has yet. False on failure, with the
// platform's error code in *error when given; nothing is left behind then.
bool CopyBeside(const std::wstring& fileName, std::wstring& copyName,
                std::uint32_t* error = nullptr);
// Moves the replacement over the file in one step. On failure the file stays as it was and the
// replacement is deleted; the error code as for ReplaceFileContent.
bool ReplaceFileWith(const std::wstring& fileName, const std::wstring& replacement,
                     std::uint32_t* error = nullptr);

// Writes the bytes to a new file in the folder, of a name no file has yet: prefix, a number,
// suffix. False on failure, with the platform's error code in *error when given; nothing is
// left behind then.
bool WriteNewFile(const std::wstring& folder, const std::wstring& prefix,
                  const std::wstring& suffix, const std::string& bytes, std::wstring& fileName,
                  std::uint32_t* error = nullptr);
// Deletes the file if it can; nothing is reported.
void RemoveFile(const std::wstring& fileName);

} // namespace platform
