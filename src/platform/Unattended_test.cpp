#include "platform/Unattended.h"

#include "Fakes.h"

#include <gtest/gtest.h>

using platform::Answer;
using platform::Buttons;
using platform::Icon;

TEST(Unattended, AMessageIsOneLineThatSaysItsKind) {
    const struct {
        Icon icon;
        std::wstring text, line;
    } cases[] = {
        {Icon::Error, L"Сбой", L"Vexmor Link: error: Сбой\r\n"},
        {Icon::Warning, L"a\r\n\r\nb", L"Vexmor Link: warning: a |  | b\r\n"},
        {Icon::Information, L"C:\\Мои проекты\\Тул.exe\r\nстрока",
         L"Vexmor Link: note: C:\\Мои проекты\\Тул.exe | строка\r\n"},
        // Only a whole CR LF pair ends a line of the text.
        {Icon::Error, L"a\rb\nc\r\n\r", L"Vexmor Link: error: a\rb\nc | \r\r\n"},
        {Icon::Information, L"", L"Vexmor Link: note: \r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.line, Unattended::Line(c.text, c.icon));
}

TEST(Unattended, OnlyAFailedStepAfterASuccessfulLinkChangesTheExitCode) {
    const struct {
        std::uint32_t linker;
        bool stepFailed, unattended;
        std::uint32_t exit;
    } cases[] = {
        {0, false, false, 0}, {0, true, false, 0},
        {0, false, true, 0},  {0, true, true, 1},
        {3, false, true, 3},  {3, true, true, 3},
        {2, true, false, 2},  {0xC0000005u, true, true, 0xC0000005u},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.exit, Unattended::ExitCode(c.linker, c.stepFailed, c.unattended))
            << c.linker << " " << c.stepFailed << " " << c.unattended;
    }
}

TEST(Unattended, OnlyTheValueOneSwitchesItOn) {
    EXPECT_TRUE(Unattended::IsRequested(L"1"));
    for (const wchar_t* value : {L"", L"0", L"01", L" 1", L"1 ", L"true", L"yes"}) {
        EXPECT_FALSE(Unattended::IsRequested(value)) << std::wstring(value);
    }
    EXPECT_FALSE(Unattended::IsRequested(std::nullopt));
}

TEST(Unattended, MessagesBecomeLinesAndQuestionsAreDeclined) {
    fakes::Reset();
    fakes::Get().Environment[Unattended::kVariable] = L"1";
    EXPECT_EQ(Answer::Cancel, platform::ShowMessage(L"Открыть?", Icon::Warning, Buttons::OkCancel));
    EXPECT_EQ(Answer::Ok, platform::ShowMessage(L"a\r\nb", Icon::Error));
    EXPECT_TRUE(fakes::Get().Messages.empty());
    EXPECT_EQ((std::vector<std::wstring>{L"Vexmor Link: warning: Открыть?\r\n",
                                         L"Vexmor Link: error: a | b\r\n"}),
              fakes::Get().ErrorLines);

    fakes::Get().Environment[Unattended::kVariable] = L"yes";
    EXPECT_EQ(Answer::Ok, platform::ShowMessage(L"Открыть?", Icon::Warning, Buttons::OkCancel));
    EXPECT_EQ(1u, fakes::Get().Messages.size());
    EXPECT_EQ(2u, fakes::Get().ErrorLines.size());
}
