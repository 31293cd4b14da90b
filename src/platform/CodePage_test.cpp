#include "platform/CodePage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using CodePage::Exactness;

TEST(CodePage, EachCodePageGetsOnlyWhatItsConversionAccepts) {
    struct Row {
        std::uint32_t CodePage;
        std::uint32_t Flags;
        bool UsesDefaultChar;
        Exactness Check;
    };
    const Row rows[] = {
        {1251, CodePage::kNoBestFitChars, true, Exactness::UsedDefault},
        {932, CodePage::kNoBestFitChars, true, Exactness::UsedDefault},
        {65001, 0, false, Exactness::LoneSurrogates},
        {65000, 0, false, Exactness::LoneSurrogates},
        {50220, 0, false, Exactness::RoundTrip},
        {50229, 0, false, Exactness::RoundTrip},
        {57011, 0, false, Exactness::RoundTrip},
        {42, 0, false, Exactness::RoundTrip},
        {57012, CodePage::kNoBestFitChars, true, Exactness::UsedDefault},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.CodePage);
        const auto call = CodePage::ToMultiByteFor(row.CodePage);
        EXPECT_EQ(row.Flags, call.Flags);
        EXPECT_EQ(row.UsesDefaultChar, call.UsesDefaultChar);
        EXPECT_EQ(row.Check, call.Check);
    }
}

TEST(CodePage, OnlyHalfASurrogatePairIsLost) {
    const std::pair<std::u16string, bool> rows[] = {
        {u"Сборка 構築", false},           {u"\xD83D\xDE00 pair", false}, {u"end \xD83D", true},
        {u"\xD83D before a letter", true}, {u"\xDE00 low alone", true},   {u"\xDE00\xD83D", true},
    };
    for (const auto& [text, lone] : rows) {
        EXPECT_EQ(lone, CodePage::HasLoneSurrogate(std::wstring(text.begin(), text.end())))
            << text.size();
    }
}

} // namespace
