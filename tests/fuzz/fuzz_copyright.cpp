// The copyright line of the usage header, in Russian or translated to English.
#include "FuzzCommon.h"

#include "Fakes.h"
#include "version/modFormatVersion.h"

namespace {

const std::wstring kRussianHead = L"\u0410\u0432\u0442\u043E\u0440\u0441\u043A\u0438\u0435 "
                                  L"\u043F\u0440\u0430\u0432\u0430 \u00A9 ";
const std::wstring kRussianTail = L" Vexmor. \u0412\u0441\u0435 \u043F\u0440\u0430\u0432\u0430 "
                                  L"\u0437\u0430\u0449\u0438\u0449\u0435\u043D\u044B.";
const std::wstring kEnglishHead = L"Copyright \u00A9 ";
const std::wstring kEnglishTail = L" Vexmor. All rights reserved.";

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// "2026" or "2024-2026".
bool IsYears(const std::wstring& text) {
    if (text.size() != 4 && text.size() != 9) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == 4 ? text[i] != L'-' : !IsDigit(text[i])) return false;
    }
    return true;
}

void Check(const std::wstring& text) {
    FUZZ_CHECK(modFormatVersion::TranslateCopyright(text, false) == text);
    const std::wstring translated = modFormatVersion::TranslateCopyright(text, true);
    // The English line is no Russian one: translating again changes nothing.
    FUZZ_CHECK(modFormatVersion::TranslateCopyright(translated, true) == translated);
    if (translated == text) return;

    // A translation keeps the years and nothing else of the line.
    FUZZ_CHECK(translated.starts_with(kEnglishHead) && translated.ends_with(kEnglishTail));
    const std::wstring years = translated.substr(
        kEnglishHead.size(), translated.size() - kEnglishHead.size() - kEnglishTail.size());
    FUZZ_CHECK(IsYears(years));
    FUZZ_CHECK(text.size() > kRussianHead.size() + years.size());
    FUZZ_CHECK(text.compare(kRussianHead.size(), years.size(), years) == 0);
    FUZZ_CHECK(text.size() == kRussianHead.size() + years.size() + kRussianTail.size());
}

// The program's own line with the years taken from the input: translated exactly when they are
// years.
void CheckOwnLine(const std::wstring& text) {
    const std::wstring years = text.substr(0, text.size() % 10);
    const std::wstring line = kRussianHead + years + kRussianTail;
    const std::wstring translated = modFormatVersion::TranslateCopyright(line, true);
    FUZZ_CHECK(translated == (IsYears(years) ? kEnglishHead + years + kEnglishTail : line));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fakes::Reset();
    const std::string_view bytes = fuzz::Bytes(data, size);
    // UTF-8 text, or UTF-16 units after a little-endian byte-order mark.
    if (bytes.starts_with("\xFF\xFE")) {
        Check(fuzz::Utf16Units(bytes.substr(2)));
        CheckOwnLine(fuzz::Utf16Units(bytes.substr(2)));
    } else {
        Check(fuzz::Utf8(bytes));
        CheckOwnLine(fuzz::Utf8(bytes));
    }
    return 0;
}
