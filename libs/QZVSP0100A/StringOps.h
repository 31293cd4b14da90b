// The text operations of QZVSP0100A.DLL without any Windows dependency: the library's exports
// and the native build both call these.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace StringOps {

// Which characters a trim removes, in the order the library's callers pass them.
struct TrimSelection {
    bool blank = false;
    bool tab = false;
    bool cr = false;
    bool lf = false;
    bool nul = false;
    bool vt = false;
    bool ff = false;
    bool nbsp = false;        // U+00A0
    bool ideographic = false; // U+3000
    bool bom = false;         // U+FEFF
};

// Blank, tab, CR, LF, VT, FF and NUL removed at both ends.
std::wstring TrimEx(std::wstring_view text);
// The selected characters removed at both ends.
std::wstring TrimEx2(std::wstring_view text, const TrimSelection& selection);
// CR and LF removed at the end only.
std::wstring TrimCRLF(std::wstring_view text);

// UTF-8 bytes of UTF-16 text. A 32-bit wchar_t element above 0xFFFF is taken as a code point;
// lone surrogates and values beyond U+10FFFF become U+FFFD, so the result is always valid.
std::string UnicodeToUtf8(std::wstring_view text);

// "major.minor.revision": minor zero-filled to two digits, revision to four.
std::wstring FormatVersion(std::uint32_t major, std::uint32_t minor, std::uint32_t revision);

// Decimal for 0..65535, otherwise "0x" and eight upper-case hex digits of the unsigned value.
std::wstring GetErrorNumber(std::int32_t number);

// The description given for an error code the system has no text for.
std::wstring UnknownErrorDescription(std::uint32_t code);

} // namespace StringOps
