// UTF-8 as the ANSI code page (65001; the ctest entry's locale gives it to Wine): the build log
// and the linker's response file keep Cyrillic and CJK letters, in UTF-8.
#include "ProgramFixture.h"

using Utf8CodePage = Program;

TEST_F(Utf8CodePage, LogAndResponseFileHoldEveryLetter) {
    ASSERT_EQ(65001u, GetACP()) << "run it under LC_ALL=hi_IN.UTF-8";
    std::wstring longComment = L"Сборка 構築"; // past the platform's command line: a response file
    while (longComment.size() < 40000)
        longComment += L" строка-行-" + std::to_wstring(longComment.size());
    for (const std::wstring& comment : {std::wstring(L"Сборка 構築 «v2»"), longComment}) {
        const std::wstring stem = project_ + L"Проект 項目 " + std::to_wstring(comment.size());
        ASSERT_TRUE(std::filesystem::create_directories(std::filesystem::path(stem)));
        const std::wstring exe = stem + L"\\Tool.exe", config = stem + L"\\Tool.LinkConfig";
        e2e::WriteBytes(config, Utf8(L"COMMENT:" + comment + L"\r\n"));
        const std::wstring line = L"/SUBSYSTEM:WINDOWS a.obj /OUT:\"" + exe + L"\"";
        const std::wstring modified = line + L" /COMMENT:\"" + comment + L"\"";
        auto result = Link(line);
        EXPECT_EQ(0u, result.ExitCode);
        EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
        const std::wstring received = Received().value_or(L"<not started>");
        const std::string rsp = e2e::ReadBytes(work_ + L"received.txt.rsp").value_or("");
        EXPECT_TRUE(comment.size() < 32767 ? received == modified
                                           : received.starts_with(L"@\"") && rsp == Utf8(modified))
            << comment.size() << ": " << Utf8(received.substr(0, 200)) << rsp.substr(0, 200);
        const std::string log = e2e::ReadBytes(stem + L"\\Tool.LinkLog").value_or("<none>");
        EXPECT_TRUE(log.starts_with(Utf8(L"Initial command line:\r\n" + line +
                                         L"\r\n\r\nFile names:\r\n[ ] " + exe + L"\r\n[*] " +
                                         config + L"\r\n")) &&
                    log.ends_with(Utf8(L"\r\n\r\nModified command line:\r\n" + modified)) &&
                    log.find('?') == std::string::npos)
            << log.substr(0, 300);
    }
}
