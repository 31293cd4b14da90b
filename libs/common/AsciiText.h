// ASCII-only text rules shared by the program and its libraries: switches, keywords, file
// extensions and drive letters are ASCII, and no other letter may be folded into them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace AsciiText {

inline wchar_t Upper(wchar_t c) {
    return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c;
}

inline std::wstring Upper(std::wstring_view text) {
    std::wstring upper(text);
    for (wchar_t& c : upper) c = Upper(c);
    return upper;
}

// The decimal digits of the value, zeros in front up to the width.
inline std::wstring ZeroFilled(std::uint32_t value, size_t width) {
    std::wstring digits = std::to_wstring(value);
    if (digits.size() < width) digits.insert(0, width - digits.size(), L'0');
    return digits;
}

} // namespace AsciiText
