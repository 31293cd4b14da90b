#include "platform/Unattended.h"

#include <gtest/gtest.h>

using platform::Icon;

TEST(Unattended, AMessageIsOneLineThatSaysItsKind) {
    const struct {
        Icon icon;
        std::wstring text, line;
    } cases[] = {
        {Icon::Error, L"Сбой", L"Vexmor Link: error: Сбой\r\n"},
        {Icon::Warning, L"a\r\n\r\nb", L"Vexmor Link: warning: a |  | b\r\n"},
        {Icon::Information, L"Тул.exe\r\nстрока", L"Vexmor Link: note: Тул.exe | строка\r\n"},
        // Only a whole CR LF pair ends a line of the text.
        {Icon::Error, L"a\rb\nc\r\n\r", L"Vexmor Link: error: a\rb\nc | \r\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.line, Unattended::Line(c.text, c.icon));
}

TEST(Unattended, OnlyAFailedStepAfterASuccessfulUnattendedLinkChangesTheExitCode) {
    // linker's exit code, a post-link step failed, unattended: the run's exit code
    const std::uint32_t cases[][4] = {
        {0, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 1, 1, 1},
        {3, 0, 1, 3}, {3, 1, 1, 3}, {2, 1, 0, 2}, {0xC0000005u, 1, 1, 0xC0000005u}};
    for (const auto& c : cases) {
        EXPECT_EQ(c[3], Unattended::ExitCode(c[0], c[1] != 0, c[2] != 0)) << c[0] << c[1] << c[2];
    }
}

TEST(Unattended, OnlyTheValueOneSwitchesItOn) {
    EXPECT_TRUE(Unattended::IsRequested(L"1"));
    for (const wchar_t* value : {L"", L"0", L" 1", L"1 ", L"true"})
        EXPECT_FALSE(Unattended::IsRequested(value)) << std::wstring(value);
    EXPECT_FALSE(Unattended::IsRequested(std::nullopt));
}
