#include "platform/CodePage.h"

namespace CodePage {

ToMultiByteCall ToMultiByteFor(std::uint32_t codePage) {
    if (codePage == kUtf8 || codePage == kUtf7) return {0, false, Exactness::LoneSurrogates};
    // The ISO-2022 family, ISCII and Symbol take no flags; a look-alike shows up only when the
    // text is converted back.
    const bool noFlags = codePage == 42 || (codePage >= 50220 && codePage <= 50229) ||
                         (codePage >= 57002 && codePage <= 57011);
    if (noFlags) return {0, false, Exactness::RoundTrip};
    return {kNoBestFitChars, true, Exactness::UsedDefault};
}

bool HasLoneSurrogate(std::wstring_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto unit = static_cast<std::uint32_t>(text[i]);
        const bool high = unit >= 0xD800 && unit <= 0xDBFF;
        const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
        if (low) return true;
        if (!high) continue;
        const auto next = i + 1 < text.size() ? static_cast<std::uint32_t>(text[i + 1]) : 0u;
        if (next < 0xDC00 || next > 0xDFFF) return true;
        ++i; // the pair is one character
    }
    return false;
}

} // namespace CodePage
