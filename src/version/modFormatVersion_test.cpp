#include "version/modFormatVersion.h"

#include <gtest/gtest.h>

using namespace modFormatVersion;

TEST(FormatVersion, PadsMinorToTwoAndRevisionToFourDigitsWithoutCutting) {
    EXPECT_EQ(L"4.07.0095", FormatVersionNumbers({4, 7, 95}));
    EXPECT_EQ(L"1.10.0005", FormatVersionNumbers({1, 10, 5}));
    EXPECT_EQ(L"1.123.12345", FormatVersionNumbers({1, 123, 12345}));
    EXPECT_EQ(L"0.00.0000", FormatVersionNumbers({0, 0, 0}));
    EXPECT_EQ(L"1.00.0001", csFormatVersion());
}

TEST(FormatVersion, TitleLineAndUsageHeader) {
    EXPECT_EQ(L" ", GetSuffix(false));
    EXPECT_EQ(L", ver. ", GetSuffix(true));
    EXPECT_EQ(L"Vexmor Link 1.00.0001", csFormatAppTitle(false));
    EXPECT_EQ(L"Vexmor Link, ver. 1.00.0001", csFormatAppTitle(true));
    const bool keep = false, translate = true;
    EXPECT_EQ(L"Vexmor Link 1.00.0001\r\nАвторские права © 2026 Vexmor. Все права защищены.",
              csGetUsageHeader(false, keep));
    EXPECT_EQ(L"Vexmor Link, ver. 1.00.0001\r\nCopyright © 2026 Vexmor. All rights reserved.",
              csGetUsageHeader(true, translate));
}

TEST(TranslateCopyright, TranslatesTheSingleYearAndTheRangeWithoutRegardToCase) {
    EXPECT_EQ(L"Copyright © 1999 Vexmor. All rights reserved.",
              TranslateCopyright(L"Авторские права © 1999 Vexmor. Все права защищены.", true));
    EXPECT_EQ(L"Copyright © 2019-2026 Vexmor. All rights reserved.",
              TranslateCopyright(L"Авторские права © 2019-2026 Vexmor. Все права защищены.", true));
    EXPECT_EQ(L"Copyright © 2026 Vexmor. All rights reserved.",
              TranslateCopyright(L"АВТОРСКИЕ ПРАВА © 2026 VEXMOR. ВСЕ ПРАВА ЗАЩИЩЕНЫ.", true));
}

TEST(TranslateCopyright, AnythingButAWholeMatchComesBackUnchanged) {
    for (const wchar_t* text : {
             L"Авторские права © 2026 Vexmor. Все права защищены. ",   // trailing blank
             L"Авторские права © 2026 Vexmor Все права защищены.",     // missing period
             L"Авторские права © 2026 Vexmor. Все права защищены.!",   // text after it
             L"Авторские права © 202 Vexmor. Все права защищены.",     // three digits
             L"Авторские права © 20x6 Vexmor. Все права защищены.",    // not a digit
             L"Авторские права © 2019-26 Vexmor. Все права защищены.", // short range
             L"",
             L"Авторские права © ",
         }) {
        EXPECT_EQ(text, TranslateCopyright(text, true)) << std::wstring(text).size();
    }
    const std::wstring matching = L"Авторские права © 2026 Vexmor. Все права защищены.";
    EXPECT_EQ(matching, TranslateCopyright(matching, false));
}
