#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

TEST(CodePage, EachCodePageGetsOnlyWhatItsConversionAccepts) {
    using enum CodePage::Exactness;
    constexpr auto kNoBestFit = CodePage::kNoBestFitChars;
    const std::tuple<std::uint32_t, std::uint32_t, bool, CodePage::Exactness> rows[] = {
        {1251, kNoBestFit, true, UsedDefault}, {932, kNoBestFit, true, UsedDefault},
        {65001, 0, false, LoneSurrogates},     {65000, 0, false, LoneSurrogates},
        {50220, 0, false, RoundTrip},          {50229, 0, false, RoundTrip},
        {57011, 0, false, RoundTrip},          {42, 0, false, RoundTrip},
        {57012, kNoBestFit, true, UsedDefault}};
    for (const auto& [page, flags, usesDefault, check] : rows) {
        const auto call = CodePage::ToMultiByteFor(page);
        EXPECT_TRUE(call.Flags == flags && call.UsesDefaultChar == usesDefault &&
                    call.Check == check)
            << page;
    }
}

TEST(CodePage, OnlyHalfASurrogatePairIsLost) {
    auto lone = [](std::u16string_view t) {
        return CodePage::HasLoneSurrogate(std::wstring(t.begin(), t.end()));
    };
    EXPECT_FALSE(lone(u"Сборка 構築 \xD83D\xDE00"));
    for (auto text : {u"end \xD83D", u"\xD83D before", u"\xDE00 alone", u"\xDE00\xD83D"}) {
        EXPECT_TRUE(lone(text)) << std::u16string_view(text).size();
    }
}
