// What the platform's conversion from UTF-16 to a code page accepts for that code page. UTF-8,
// UTF-7 and a few stateful code pages refuse the "no best fit" flag, and UTF-8 and UTF-7 also a
// default character and its report: passing them makes the conversion fail outright.
#pragma once

#include <cstdint>
#include <string_view>

namespace CodePage {

inline constexpr std::uint32_t kUtf7 = 65000;
inline constexpr std::uint32_t kUtf8 = 65001;
// WC_NO_BEST_FIT_CHARS: a character the code page lacks becomes its default character, never a
// look-alike that would read as something else.
inline constexpr std::uint32_t kNoBestFitChars = 0x400;

// How a caller learns whether every character was kept.
enum class Exactness {
    UsedDefault,    // the conversion reports whether it put in the default character
    RoundTrip,      // converted back, the text must be the same
    LoneSurrogates, // every character fits; only half a surrogate pair cannot be kept
};

struct ToMultiByteCall {
    std::uint32_t Flags;
    bool UsesDefaultChar; // whether the used-default report may be asked for
    Exactness Check;
};

ToMultiByteCall ToMultiByteFor(std::uint32_t codePage);

// True when the text holds a high surrogate without a low one after it, or a low one alone.
bool HasLoneSurrogate(std::wstring_view text);

} // namespace CodePage
