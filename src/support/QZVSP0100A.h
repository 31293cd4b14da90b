// The string support library's operations as the program calls them. Each wrapper calls the
// library and turns a failure status (negative) into an AppError.
#pragma once

#include <cstdint>
#include <string>

namespace QZVSP0100A {

// The text without white space (blank, tab, CR, LF, VT, FF, NUL) at both ends.
std::wstring TrimEx(const std::wstring& text);
// The text without the selected white-space characters at both ends. Selectors, in order:
// blank, tab, CR, LF, NUL, VT, FF, no-break space U+00A0, ideographic space U+3000, BOM U+FEFF.
std::wstring TrimEx2(const std::wstring& text, bool blank, bool tab, bool cr, bool lf, bool nul,
                     bool vt, bool ff, bool nbsp, bool ideographic, bool bom);
// The text without the CR and LF characters at its end.
std::wstring TrimCRLF(const std::wstring& text);
// UTF-8 bytes of the text; a lone surrogate becomes U+FFFD.
std::string UnicodeToUtf8(const std::wstring& text);
// "major.minor.revision" with the minor in at least two and the revision in at least four digits.
std::wstring FormatVersion(std::int32_t major, std::int32_t minor, std::int32_t revision);
// A zero-terminated string in the ANSI code page, as Unicode.
std::wstring GetStringFromPointerA(const char* text);
// Display form of an error number: decimal up to 65535, otherwise 0x and eight hex digits.
std::wstring GetErrorNumber(std::int32_t number);
// The system's message text for a Win32 error code, without the trailing line break.
std::wstring GetAPIErrorDescription(std::uint32_t code);
// Gives the window every size of the icon group of that name in the program's resources.
void SetWindowResIconAll(std::uintptr_t window, const std::wstring& iconGroup);

} // namespace QZVSP0100A
