#include "platform/ProcessArguments.h"

#include <gtest/gtest.h>

using platform::ArgumentText;

TEST(ArgumentText, SkipsTheProgramNameQuotedOrNotAndTheBlanksAfterIt) {
    EXPECT_EQ(L"/OUT:a.exe /DLL", ArgumentText(L"LINK.EXE /OUT:a.exe /DLL"));
    EXPECT_EQ(L"/OUT:a.exe",
              ArgumentText(L"\"C:\\Program Files\\DevEnv\\LINK.EXE\" \t /OUT:a.exe"));
    EXPECT_EQ(L"/OUT:a.exe", ArgumentText(L"\"C:\\DevEnv\\LINK.EXE\"/OUT:a.exe"));
    EXPECT_EQ(L"x\t ", ArgumentText(L"LINK.EXE\tx\t "));
    EXPECT_EQ(L"", ArgumentText(L"LINK.EXE"));
    EXPECT_EQ(L"", ArgumentText(L"\"C:\\DevEnv\\LINK.EXE\"  "));
    EXPECT_EQ(L"", ArgumentText(L"\"C:\\unclosed LINK.EXE /OUT:a.exe"));
    EXPECT_EQ(L"", ArgumentText(L""));
}
