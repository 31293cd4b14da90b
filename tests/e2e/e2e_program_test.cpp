// The program end to end: the real win64 build started as the development environment starts
// its linker, with a stand-in LINK2.EXE beside it, real option files and .BAT scripts, and every
// message box read and answered by the dialog driver.
#include "ProgramFixture.h"
#include "version/modFormatVersion.h"

#include <chrono>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using e2e::ReadBytes;
using e2e::WriteBytes;

// --- start-up and pass-through ----------------------------------------------------------------

TEST_F(Program, WithoutArgumentsShowsOneUsageBoxAndStartsNothing) {
    const std::wstring header = modFormatVersion::csGetUsageHeader(false, false);
    // The guide shipped beside the program opens with the same lines.
    EXPECT_EQ(0u, ReadBytes(testsDir_ + L"..\\bin\\ReadMe.TXT")
                      .value_or("")
                      .rfind("\xEF\xBB\xBF" + Utf8(header + L"\r\n"), 0));
    auto result = Link(L"  \t ");
    EXPECT_EQ(0u, result.ExitCode);
    ASSERT_EQ(1u, result.Boxes.size()) << e2e::Describe(result);
    ExpectBox(
        result.Boxes[0], L"information",
        header +
            L"\r\n\r\nПохоже, программа запущена сама по себе. Так она работать не "
            L"будет. Внимательно прочитайте ReadMe.TXT - там содержатся инструкции по установке.");
    EXPECT_FALSE(Received());
}

TEST_F(Program, WithoutAnOutputFileReportsTheLineAndLinksItUnchanged) {
    linkerExit_ = 3;
    Project(L"Tool.LinkConfig", L"CONSOLE"); // never found: there is no output file to look beside
    const std::wstring line = L"/SUBSYSTEM:WINDOWS a.obj /OUT:\"" + exe_;
    auto result = Link(line);
    EXPECT_EQ(3u, result.ExitCode);
    ASSERT_EQ(1u, result.Boxes.size()) << e2e::Describe(result);
    ExpectBox(result.Boxes[0], L"error",
              L"Не удалось получить имя компилируемого файла!\r\n\r\n" + line);
    EXPECT_EQ(line, Received());
}

TEST_F(Program, PassesTheTrimmedLineThroughCharacterForCharacter) {
    Script(project_ + L"Тул.PreBuild.BAT", L"pre");
    const std::wstring line = L"/NOLOGO\t\"C:\\Мои проекты\\a b.obj\"  /OUT:\"" + project_ +
                              L"Тул.exe\"\t/SUBSYSTEM:WINDOWS /DEBUGTYPE:CV  \"x\\\"y\"";
    auto result = Link(L" \t" + line + L"\t  ");
    EXPECT_EQ(0u, result.ExitCode);
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    EXPECT_EQ(line, Received());
    // The linker's output reaches the program's own console; no script ran, no log was written.
    EXPECT_EQ("stand-in linker: stdout\r\n", result.StdOut);
    EXPECT_EQ("stand-in linker: stderr\r\n", result.StdErr);
    EXPECT_EQ("link\r\n", Order());
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(project_ + L"Тул.LinkLog")));
}

TEST_F(Program, EndsWithTheLinkersExitCode) {
    for (std::uint32_t code : {0u, 1u, 255u, 0xC0000005u}) {
        linkerExit_ = code;
        auto result = Link(L"/OUT:" + exe_);
        EXPECT_EQ(code, result.ExitCode);
        EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    }
}

TEST_F(Program, AMissingLinkerIsReportedAndTheRunDoesNotEndWithZero) {
    ASSERT_TRUE(DeleteFileW((bin_ + L"LINK2.EXE").c_str()));
    auto result = Link(L"/OUT:" + exe_);
    EXPECT_EQ(2u, result.ExitCode); // ERROR_FILE_NOT_FOUND
    ASSERT_EQ(1u, result.Boxes.size()) << e2e::Describe(result);
    const auto& box = result.Boxes[0];
    EXPECT_EQ(L"error", box.Icon);
    const std::wstring head =
        bin_ + L"LINK2.EXE\r\n\r\nНе удалось запустить.\r\n\r\nWin32 error: 2\r\nDescription: ";
    EXPECT_EQ(head, box.Text.substr(0, head.size())) << Utf8(box.Text);
    EXPECT_GT(box.Text.size(), head.size()); // the system's words, whatever they are
}

// --- configured builds ------------------------------------------------------------------------

TEST_F(Program, AnEmptyOptionFileWritesTheLogFirstAndRunsTheScriptsInOrder) {
    Project(L"Tool.LinkConfig", L"");
    Script(project_ + L"Tool.PreBuild.BAT", L"pre");
    Script(project_ + L"Tool.Sign.BAT", L"sign");
    Script(project_ + L"Tool.PostBuild.BAT", L"post");
    Script(project_ + L"Tool.Compress.BAT", L"compress"); // off by default
    const std::wstring line = L"/SUBSYSTEM:WINDOWS a.obj /OUT:" + exe_;
    auto result = Link(line);
    EXPECT_EQ(0u, result.ExitCode);
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    EXPECT_EQ(line, Received());
    const std::string target = Utf8(exe_);
    EXPECT_EQ("pre " + target + "\r\nlink\r\nsign " + target + "\r\npost " + target + "\r\n",
              Order());

    const std::wstring p = project_ + L"Tool.";
    EXPECT_EQ(Ansi(L"Initial command line:\r\n" + line + L"\r\n\r\nFile names:\r\n[ ] " + exe_ +
                   L"\r\n[*] " + p + L"LinkConfig\r\n[ ] " + p + L"LinkLog\r\n[ ] " + p +
                   L"DEF\r\n[*] " + p + L"Compress.BAT\r\n[*] " + p + L"Sign.BAT\r\n[*] " + p +
                   L"PreBuild.BAT\r\n[*] " + p +
                   L"PostBuild.BAT\r\n\r\nModified command line:\r\n" + line),
              ReadBytes(p + L"LinkLog"));
    // Each script's output, both streams, is kept in the folder for temporary files.
    EXPECT_EQ("pre says hello\r\npre complains \r\n", ReadBytes(temp_ + L"Vexmor Pre Build.TXT"));
    EXPECT_EQ("sign says hello\r\nsign complains \r\n", ReadBytes(temp_ + L"Vexmor Sign.TXT"));
    EXPECT_EQ("post says hello\r\npost complains \r\n",
              ReadBytes(temp_ + L"Vexmor Post Build.TXT"));
}

TEST_F(Program, OptionsRewriteTheLineTheLinkerReceives) {
    Project(L"Tool.LinkConfig",
            L"# every switch option\r\n  console \r\nCOFF\r\nMAP\r\nmap-exports\r\n"
            L"MAP_FIXUPS\r\nMAP_LINES\r\nDEF\r\nCOMMENT: Сборка \"пробная\" \r\n"
            L"STUB:stubs\\dos stub.exe\r\nX-NOSIGN");
    auto result = Link(L"/DEBUGTYPE:CV /SUBSYSTEM:WINDOWS,4.0 /debugtype:cv /subsystem:windows "
                       L"/OUT:\"" +
                       exe_ + L"\" /SUBSYSTEM:WINDOWS");
    EXPECT_EQ(0u, result.ExitCode);
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    EXPECT_EQ(L"/DEBUGTYPE:COFF /SUBSYSTEM:CONSOLE,4.0 /debugtype:cv /subsystem:windows /OUT:\"" +
                  exe_ +
                  L"\" /SUBSYSTEM:CONSOLE /MAP /MAPINFO:EXPORTS /MAPINFO:FIXUPS "
                  L"/MAPINFO:LINES /DEF:\"" +
                  project_ +
                  L"Tool.DEF\" /COMMENT:\"Сборка \\\"пробная\\\"\" "
                  L"/STUB:\"" +
                  project_ + L"stubs\\dos stub.exe\"",
              Received());
}

TEST_F(Program, UnknownLinesAreWarnedAboutOneByOneAndTheRestStillWorks) {
    Project(L"Tool.LinkConfig", L"Console # for the tests\r\ncoff\r\nкомпрессия\r\nMAP LINES");
    auto result = Link(L"/DEBUGTYPE:CV /OUT:" + exe_);
    ASSERT_EQ(3u, result.Boxes.size()) << e2e::Describe(result);
    const std::wstring head = L"В конфиге обнаружена неизвестная опция!\r\n\r\n";
    ExpectBox(result.Boxes[0], L"warning", head + L"CONSOLE # FOR THE TESTS");
    ExpectBox(result.Boxes[1], L"warning", head + L"КОМПРЕССИЯ");
    ExpectBox(result.Boxes[2], L"warning", head + L"MAP LINES");
    EXPECT_EQ(L"/DEBUGTYPE:COFF /OUT:" + exe_, Received());
}

TEST_F(Program, CompressAndSignPreferTheProjectsScriptsOverTheSharedOnes) {
    Script(bin_ + L"Vexmor Compress.BAT", L"shared-compress");
    Script(bin_ + L"Vexmor Sign.BAT", L"shared-sign");
    Project(L"Tool.LinkConfig", L"COMPRESS");
    EXPECT_EQ(0u, Link(L"/OUT:" + exe_).ExitCode);
    const std::string target = Utf8(exe_);
    EXPECT_EQ("link\r\nshared-compress " + target + "\r\nshared-sign " + target + "\r\n", Order());

    DeleteFileW((work_ + L"order.txt").c_str());
    Script(project_ + L"Tool.Compress.BAT", L"compress");
    Script(project_ + L"Tool.Sign.BAT", L"sign");
    EXPECT_EQ(0u, Link(L"/OUT:" + exe_).ExitCode);
    EXPECT_EQ("link\r\ncompress " + target + "\r\nsign " + target + "\r\n", Order());

    DeleteFileW((work_ + L"order.txt").c_str());
    Project(L"Tool.LinkConfig", L"nosign");
    EXPECT_EQ(0u, Link(L"/OUT:" + exe_).ExitCode);
    EXPECT_EQ("link\r\n", Order());
}

TEST_F(Program, AFailingPreBuildScriptIsReportedAndTheLinkGoesOn) {
    Project(L"Tool.LinkConfig", L"");
    Script(project_ + L"Tool.PreBuild.BAT", L"pre", 4);
    auto result = Link(L"/OUT:" + exe_, {L"cancel"});
    EXPECT_EQ(0u, result.ExitCode);
    ASSERT_EQ(1u, result.Boxes.size()) << e2e::Describe(result);
    ExpectBox(result.Boxes[0], L"warning",
              project_ + L"Tool.PreBuild.BAT\r\n\r\nВо время выполнения pre build произошли ошибки."
                         L"\r\n\r\nОткрыть файл с сообщениями об ошибках?",
              true);
    EXPECT_EQ("pre " + Utf8(exe_) + "\r\nlink\r\n", Order());
    EXPECT_EQ("pre says hello\r\npre complains \r\n", ReadBytes(temp_ + L"Vexmor Pre Build.TXT"));
    ExpectNothingOpened(); // Cancel opens nothing
}

TEST_F(Program, AFailingSignScriptAnsweredOkOpensItsCapturedOutput) {
    Project(L"Tool.LinkConfig", L"");
    Script(project_ + L"Tool.Sign.BAT", L"sign", 1);
    Script(project_ + L"Tool.PostBuild.BAT", L"post");
    auto result = Link(L"/OUT:" + exe_, {L"ok"});
    EXPECT_EQ(0u, result.ExitCode);
    ASSERT_EQ(1u, result.Boxes.size()) << e2e::Describe(result);
    ExpectBox(result.Boxes[0], L"warning",
              project_ + L"Tool.Sign.BAT\r\n\r\nВо время подписывания произошли ошибки.\r\n\r\n"
                         L"Открыть файл с сообщениями об ошибках?",
              true);
    // The build went on after the failed step.
    EXPECT_EQ("link\r\nsign " + Utf8(exe_) + "\r\npost " + Utf8(exe_) + "\r\n", Order());
    auto opened = e2e::WaitForFile(work_ + L"opened.txt", 10s);
    ASSERT_TRUE(opened);
    EXPECT_NE(std::string::npos, opened->find(Utf8(temp_ + L"Vexmor Sign.TXT"))) << *opened;
}

TEST_F(Program, AFailedLinkRunsNoPostLinkStepAndPassesItsCodeOn) {
    linkerExit_ = 1;
    Project(L"Tool.LinkConfig", L"COMPRESS");
    Script(project_ + L"Tool.PreBuild.BAT", L"pre");
    Script(project_ + L"Tool.Compress.BAT", L"compress");
    Script(project_ + L"Tool.Sign.BAT", L"sign");
    Script(project_ + L"Tool.PostBuild.BAT", L"post");
    auto result = Link(L"/OUT:" + exe_);
    EXPECT_EQ(1u, result.ExitCode);
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    EXPECT_EQ("pre " + Utf8(exe_) + "\r\nlink\r\n", Order());
}

TEST_F(Program, AnOptionFileHeldOpenIsReportedAndTheLinkRunsUnchanged) {
    Project(L"Tool.LinkConfig", L"CONSOLE");
    Project(L"Tool.LinkLog", L"earlier log");
    Script(project_ + L"Tool.PreBuild.BAT", L"pre");
    HeldOpen held(project_ + L"Tool.LinkConfig");
    ASSERT_TRUE(held.Ok());
    const std::wstring line = L"/SUBSYSTEM:WINDOWS /OUT:" + exe_;
    auto result = Link(line);
    EXPECT_EQ(0u, result.ExitCode);
    ASSERT_EQ(1u, result.Boxes.size()) << e2e::Describe(result);
    ExpectBox(result.Boxes[0], L"error",
              project_ + L"Tool.LinkConfig\r\n\r\nНе удаётся прочитать файл настроек!");
    EXPECT_EQ(line, Received());
    EXPECT_EQ("link\r\n", Order());
    EXPECT_EQ("earlier log", ReadBytes(project_ + L"Tool.LinkLog"));
}

TEST_F(Program, ALockedLogLeavesTheEarlierOneIntactAndTheBuildGoesOn) {
    Project(L"Tool.LinkConfig", L"CONSOLE");
    Project(L"Tool.LinkLog", L"earlier log");
    auto result = [&] {
        HeldOpen held(project_ + L"Tool.LinkLog");
        EXPECT_TRUE(held.Ok());
        return Link(L"/SUBSYSTEM:WINDOWS /OUT:" + exe_);
    }();
    EXPECT_EQ(0u, result.ExitCode);
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    EXPECT_EQ(L"/SUBSYSTEM:CONSOLE /OUT:" + exe_, Received());
    EXPECT_EQ("earlier log", ReadBytes(project_ + L"Tool.LinkLog"));
    // No temporary file of the log's is left behind.
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(project_))) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(4u, files); // the option file, the log, the output file and its manifest
}

TEST_F(Program, ACyrillicCommentFromTheCodePageReachesTheLinkerAsTheSameText) {
    ASSERT_EQ(1251u, GetACP()) << "run the end-to-end tests with LC_ALL=ru_RU.UTF-8";
    WriteBytes(project_ + L"Tool.LinkConfig", "COMMENT:\xD1\xE1\xEE\xF0\xEA\xE0 \xB9 5"); // 1251
    EXPECT_EQ(0u, Link(L"/OUT:" + exe_).ExitCode);
    EXPECT_EQ(L"/OUT:" + exe_ + L" /COMMENT:\"Сборка № 5\"", Received());
}

// --- unattended builds ------------------------------------------------------------------------

TEST_F(Program, UnattendedBuildsShowNoBoxTellEverythingOnStandardErrorAndFailWhenAStepFailed) {
    // What reaches a pipe: the system's OEM code page, "?" for what it lacks (the usage's ©).
    const auto line = [](const std::wstring& text) {
        return platform::ToCodePage(L"Vexmor Link: " + text + L"\r\n", GetOEMCP());
    };
    std::wstring usage = modFormatVersion::csGetUsageHeader(false, false);
    usage.replace(usage.find(L"\r\n"), 2, L" | ");
    usage.replace(usage.find(L"©"), 1, L"?");
    const std::string linker = "stand-in linker: stderr\r\n";
    const std::wstring out = L"/OUT:" + exe_;
    const struct {
        std::wstring arguments, options, output; // output: what the link writes
        std::uint32_t postBuildExit, exit;
        std::string stdErr;
    } rows[] = {
        {out, L"CONSOLE\r\nкомпрессия", L"App.exe", 0, 0,
         line(L"warning: В конфиге обнаружена неизвестная опция! |  | КОМПРЕССИЯ") + linker},
        {out, L"", L"App.exe", 1, 1,
         linker + line(L"warning: " + project_ +
                       L"Tool.PostBuild.BAT |  | Во время выполнения post build скрипта "
                       L"произошли ошибки. |  | Открыть файл с сообщениями об ошибках?")},
        {out, L"", L"NoResource.exe", 0, 1,
         linker + line(L"error: " + exe_ +
                       L" |  | Не удалось сгенерировать манифест для файла. Функция: "
                       L"GetManifestBody(). |  | Не удалось получить информацию о версии файла")},
        {L" ", L"", L"App.exe", 0, 1,
         line(L"note: " + usage +
              L" |  | Похоже, программа запущена сама по себе. Так она работать не будет. "
              L"Внимательно прочитайте ReadMe.TXT - там содержатся инструкции по установке.")},
        {out, L"", L"App.exe", 0, 0, linker},
        {out, L"", L"App.exe", 0, 2, // the linker is missing
         line(L"error: " + bin_ +
              L"LINK2.EXE |  | Не удалось запустить. |  | Win32 error: 2 | Description: ")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(&row - rows);
        Project(L"Tool.LinkConfig", row.options);
        Script(project_ + L"Tool.PostBuild.BAT", L"post", row.postBuildExit);
        output_ = testsDir_ + L"version\\" + row.output;
        if (row.exit == 2) DeleteFileW((bin_ + L"LINK2.EXE").c_str());
        auto options =
            LinkOptions(e2e::QuoteArgument(bin_ + L"VexmorLink.exe") + L" " + row.arguments);
        options.Env.emplace_back(L"VEXMOR_LINK_UNATTENDED", L"1");
        const auto result = e2e::Run(options);
        EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
        EXPECT_EQ(row.exit, result.ExitCode);
        // With the linker missing the system's own words end the line: leave them out.
        const std::string& err = result.StdErr;
        const size_t end = err.find("\r\n"), shown = row.stdErr.size() - 2;
        EXPECT_EQ(row.stdErr,
                  row.exit == 2 && end > shown ? err.substr(0, shown) + err.substr(end) : err);
    }
    ExpectNothingOpened(); // the offer to open a script's output was declined
}

} // namespace
