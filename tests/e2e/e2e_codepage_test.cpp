// Windows with UTF-8 as its ANSI code page (65001), end to end: the build log and the linker's
// response file must hold every letter, Cyrillic and CJK alike, in UTF-8. Its ctest entry runs it
// under a locale that gives Wine that code page.
#include "ProgramFixture.h"

#include <windows.h>

namespace {

class Utf8CodePage : public Program {
  protected:
    void SetUp() override {
        // Under any other code page this would only repeat the tests of the users' one.
        ASSERT_EQ(65001u, GetACP()) << "run it under LC_ALL=hi_IN.UTF-8";
        Program::SetUp();
    }
};

TEST_F(Utf8CodePage, LogAndResponseFileHoldEveryLetter) {
    // Past the longest command line the platform starts a program with: a response file.
    std::wstring longComment = L"Сборка 構築";
    while (longComment.size() < 40000)
        longComment += L" строка-行-" + std::to_wstring(longComment.size());
    for (const std::wstring& comment : {std::wstring(L"Сборка 構築 «v2»"), longComment}) {
        SCOPED_TRACE(comment.size());
        const std::wstring folder = project_ + L"Проект 項目 " + std::to_wstring(comment.size());
        ASSERT_TRUE(std::filesystem::create_directories(std::filesystem::path(folder)));
        const std::wstring stem = folder + L"\\Tool", exe = stem + L".exe";
        e2e::WriteBytes(stem + L".LinkConfig", Utf8(L"COMMENT:" + comment + L"\r\n"));
        const std::wstring line = L"/SUBSYSTEM:WINDOWS a.obj /OUT:\"" + exe + L"\"";
        const std::wstring modified = line + L" /COMMENT:\"" + comment + L"\"";

        auto result = Link(line);
        EXPECT_EQ(0u, result.ExitCode);
        EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
        const std::wstring received = Received().value_or(L"<not started>");
        if (comment.size() < 32767) {
            EXPECT_EQ(modified, received);
        } else {
            EXPECT_TRUE(received.starts_with(L"@\"")) << Utf8(received.substr(0, 200));
            const std::string rsp = e2e::ReadBytes(work_ + L"received.txt.rsp").value_or("");
            EXPECT_TRUE(rsp == Utf8(modified)) << rsp.size() << " bytes: " << rsp.substr(0, 200);
        }
        const std::string log = e2e::ReadBytes(stem + L".LinkLog").value_or("<none>");
        const std::string head =
            Utf8(L"Initial command line:\r\n" + line + L"\r\n\r\nFile names:\r\n[ ] " + exe +
                 L"\r\n[*] " + stem + L".LinkConfig\r\n");
        const std::string tail = Utf8(L"\r\n\r\nModified command line:\r\n" + modified);
        EXPECT_EQ(head, log.substr(0, head.size()));
        EXPECT_TRUE(log.ends_with(tail) || log.ends_with(tail + "\r\n"))
            << log.substr(log.size() > 300 ? log.size() - 300 : 0);
        EXPECT_EQ(std::string::npos, log.find('?')) << log.substr(0, 300);
    }
}

} // namespace
