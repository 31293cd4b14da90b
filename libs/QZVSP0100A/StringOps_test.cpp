#include "QZVSP0100A/StringOps.h"

#include <gtest/gtest.h>

#include <string>

using namespace StringOps;
using namespace std::string_literals;

namespace {

// The selection every caller of TrimEx2 passes: the five basic characters, none of the others.
constexpr TrimSelection kCallersSelection{true,  true,  true,  true,  true,
                                          false, false, false, false, false};

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int v : values) bytes += static_cast<char>(v);
    return bytes;
}

} // namespace

TEST(Trim, RemovesWhiteSpaceAtBothEndsOnly) {
    EXPECT_EQ(TrimEx(L" \t\r\n\v\f"s + L'\0' + L"a b\tc" + L'\0' + L"\f\v\n\r\t "), L"a b\tc");
    EXPECT_EQ(TrimEx(L""), L"");
    EXPECT_EQ(TrimEx(L" \t \r\n "), L"");
    EXPECT_EQ(TrimEx(L"x"), L"x");
    // Only ASCII white space: the wider spaces stay.
    EXPECT_EQ(TrimEx(L"\u00A0x\u3000"), L"\u00A0x\u3000");
}

TEST(Trim, Ex2RemovesExactlyTheSelectedCharacters) {
    EXPECT_EQ(TrimEx2(L" \t\r\n"s + L'\0' + L"x" + L'\0', kCallersSelection), L"x");
    // The callers' selection keeps VT, FF and the Unicode spaces.
    EXPECT_EQ(TrimEx2(L"\v x \f", kCallersSelection), L"\v x \f");
    EXPECT_EQ(TrimEx2(L"\uFEFF x", kCallersSelection), L"\uFEFF x");

    TrimSelection unicodeOnly{};
    unicodeOnly.nbsp = unicodeOnly.ideographic = unicodeOnly.bom = true;
    EXPECT_EQ(TrimEx2(L"\uFEFF\u00A0\u3000 x \u3000", unicodeOnly), L" x ");

    TrimSelection tabOnly{};
    tabOnly.tab = true;
    EXPECT_EQ(TrimEx2(L"\t \tx\t", tabOnly), L" \tx");
    EXPECT_EQ(TrimEx2(L" x ", TrimSelection{}), L" x ");
    EXPECT_EQ(TrimEx2(L"\t\t", tabOnly), L"");
}

TEST(Trim, CrlfTrimsOnlyLineBreaksAtTheEnd) {
    EXPECT_EQ(TrimCRLF(L"\r\nline\r\n\r\n"), L"\r\nline");
    EXPECT_EQ(TrimCRLF(L"line \n\r"), L"line ");
    EXPECT_EQ(TrimCRLF(L"a\r\nb"), L"a\r\nb");
    EXPECT_EQ(TrimCRLF(L"\n\r\n"), L"");
    EXPECT_EQ(TrimCRLF(L""), L"");
}

TEST(Utf8, EncodesEveryLength) {
    EXPECT_EQ(UnicodeToUtf8(L""), "");
    EXPECT_EQ(UnicodeToUtf8(L"Az~"), "Az~");
    EXPECT_EQ(UnicodeToUtf8(L"\u00E9\u044F"), Bytes({0xC3, 0xA9, 0xD1, 0x8F}));
    EXPECT_EQ(UnicodeToUtf8(L"\u20AC\uFFFF"), Bytes({0xE2, 0x82, 0xAC, 0xEF, 0xBF, 0xBF}));
    EXPECT_EQ(UnicodeToUtf8(L"Файл"), "Файл");
    // NUL is a character like any other, not an end.
    EXPECT_EQ(UnicodeToUtf8(L"a"s + L'\0' + L"b"), "a\0b"s);
}

TEST(Utf8, JoinsSurrogatePairsAnywhere) {
    std::wstring pair{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    std::string smile = Bytes({0xF0, 0x9F, 0x98, 0x80});
    EXPECT_EQ(UnicodeToUtf8(pair), smile);
    EXPECT_EQ(UnicodeToUtf8(L"x" + pair), "x" + smile); // a pair at the very end
    std::wstring extremes{static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0xDC00),
                          static_cast<wchar_t>(0xDBFF), static_cast<wchar_t>(0xDFFF)};
    EXPECT_EQ(UnicodeToUtf8(extremes), Bytes({0xF0, 0x90, 0x80, 0x80, 0xF4, 0x8F, 0xBF, 0xBF}));
}

TEST(Utf8, ReplacesLoneSurrogates) {
    std::string replacement = Bytes({0xEF, 0xBF, 0xBD});
    wchar_t high = static_cast<wchar_t>(0xD83D);
    wchar_t low = static_cast<wchar_t>(0xDE00);
    EXPECT_EQ(UnicodeToUtf8(std::wstring{high}), replacement); // high at the very end
    // The end of the text is the end of the view, even when a low surrogate follows in memory.
    std::wstring pair{high, low};
    EXPECT_EQ(UnicodeToUtf8(std::wstring_view(pair).substr(0, 1)), replacement);
    EXPECT_EQ(UnicodeToUtf8(std::wstring{low}), replacement);
    EXPECT_EQ(UnicodeToUtf8(std::wstring{high, L'a'}), replacement + "a");
    // Two highs then a low: the first is lone, the second pairs.
    EXPECT_EQ(UnicodeToUtf8(std::wstring{high, high, low}),
              replacement + Bytes({0xF0, 0x9F, 0x98, 0x80}));
    // A low before a high is not a pair.
    EXPECT_EQ(UnicodeToUtf8(std::wstring{low, high}), replacement + replacement);
}

TEST(Utf8, TakesWideElementsAsCodePoints) {
    if constexpr (sizeof(wchar_t) == 4) {
        EXPECT_EQ(UnicodeToUtf8(std::wstring{static_cast<wchar_t>(0x1F600)}),
                  Bytes({0xF0, 0x9F, 0x98, 0x80}));
        EXPECT_EQ(UnicodeToUtf8(std::wstring{static_cast<wchar_t>(0x10FFFF)}),
                  Bytes({0xF4, 0x8F, 0xBF, 0xBF}));
        EXPECT_EQ(UnicodeToUtf8(std::wstring{static_cast<wchar_t>(0x110000)}),
                  Bytes({0xEF, 0xBF, 0xBD}));
    } else {
        GTEST_SKIP() << "wchar_t holds UTF-16 code units here";
    }
}

TEST(Numbers, FormatVersionPadsMinorAndRevision) {
    EXPECT_EQ(FormatVersion(1, 0, 1), L"1.00.0001");
    EXPECT_EQ(FormatVersion(4, 7, 95), L"4.07.0095");
    EXPECT_EQ(FormatVersion(0, 0, 0), L"0.00.0000");
    EXPECT_EQ(FormatVersion(12, 34, 5678), L"12.34.5678");
    EXPECT_EQ(FormatVersion(65535, 65535, 65535), L"65535.65535.65535");
    EXPECT_EQ(FormatVersion(0xFFFFFFFFu, 100, 12345), L"4294967295.100.12345");
}

TEST(Numbers, ErrorNumberIsDecimalOnlyUpTo65535) {
    EXPECT_EQ(GetErrorNumber(0), L"0");
    EXPECT_EQ(GetErrorNumber(2), L"2");
    EXPECT_EQ(GetErrorNumber(65535), L"65535");
    EXPECT_EQ(GetErrorNumber(65536), L"0x00010000");
    EXPECT_EQ(GetErrorNumber(-1), L"0xFFFFFFFF");
    EXPECT_EQ(GetErrorNumber(static_cast<std::int32_t>(0x80070002u)), L"0x80070002");
    EXPECT_EQ(GetErrorNumber(static_cast<std::int32_t>(0x800A01ADu)), L"0x800A01AD");
    EXPECT_EQ(GetErrorNumber(INT32_MIN), L"0x80000000");
}

TEST(Numbers, UnknownErrorDescriptionShowsTheNumber) {
    EXPECT_NE(UnknownErrorDescription(1234567).find(L"0x0012D687"), std::wstring::npos);
    EXPECT_NE(UnknownErrorDescription(17).find(L"17"), std::wstring::npos);
}
