// Proves the end-to-end harness itself: the stand-in linker records and passes through what the
// real tests rely on, and the dialog driver reads and answers boxes of a whole process tree.
#include "E2eFixture.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace std::chrono_literals;
using e2e::ReadBytes;
using e2e::WriteBytes;
using E2e = e2e::E2eTest;

// --- the stand-in linker ---------------------------------------------------------------------

TEST_F(E2e, StandInRecordsTheArgumentTextExactly) {
    const std::wstring args = L"/OUT:\"C:\\Мои проекты\\Tool.exe\"\t/DEBUG  \"a\\\"b\" ";
    auto options = Options(QuotedTool(L"LINK2.exe") + L" " + args);
    options.Env = {{L"VEXMOR_STANDIN_RECORD", work_ + L"record.txt"}};
    auto result = e2e::Run(options);

    EXPECT_FALSE(result.TimedOut);
    EXPECT_EQ(result.ExitCode, 0u) << e2e::Describe(result);
    EXPECT_TRUE(result.Boxes.empty());
    EXPECT_EQ(ReadBytes(work_ + L"record.txt"), e2e::ToUtf8(args)); // UTF-8, no BOM
    EXPECT_EQ(result.StdOut, "stand-in linker: stdout\r\n");
    EXPECT_EQ(result.StdErr, "stand-in linker: stderr\r\n");
}

TEST_F(E2e, StandInDropsOnlyTheProgramAndOneBlank) {
    // Unquoted, by the bare name: CreateProcessW finds it beside this test program.
    auto options = Options(L"LINK2.exe  /A\t ");
    options.Env = {{L"VEXMOR_STANDIN_RECORD", work_ + L"record.txt"}};
    EXPECT_EQ(e2e::Run(options).ExitCode, 0u);
    EXPECT_EQ(ReadBytes(work_ + L"record.txt"), " /A\t ");

    // Nothing after the program: the record is overwritten with nothing.
    options.CommandLine = QuotedTool(L"LINK2.exe");
    EXPECT_EQ(e2e::Run(options).ExitCode, 0u);
    EXPECT_EQ(ReadBytes(work_ + L"record.txt"), "");
}

TEST_F(E2e, StandInPassesExitCodesThrough) {
    const std::pair<const wchar_t*, std::uint32_t> cases[] = {{L"0", 0},
                                                              {L"1", 1},
                                                              {L"255", 255},
                                                              {L"0xC0000005", 0xC0000005u},
                                                              {L"3221225477", 0xC0000005u},
                                                              {L"0x100", 256}};
    for (const auto& [text, code] : cases) {
        auto options = Options(QuotedTool(L"LINK2.exe") + L" /OUT:x.exe");
        options.Env = {{L"VEXMOR_STANDIN_RECORD", work_ + L"record.txt"},
                       {L"VEXMOR_STANDIN_EXIT", text}};
        auto result = e2e::Run(options);
        EXPECT_EQ(result.ExitCode, code) << e2e::ToUtf8(text) << "\n" << e2e::Describe(result);
    }
}

TEST_F(E2e, StandInRecordsBesideItselfByDefaultAndAppendsToTheOrderFile) {
    // A copy in the work folder, as the real tests install it beside the program.
    ASSERT_TRUE(CopyFileW(Tool(L"LINK2.exe").c_str(), (work_ + L"LINK2.EXE").c_str(), FALSE));
    WriteBytes(work_ + L"order.txt", "pre-link\r\n");
    auto options = Options(e2e::QuoteArgument(work_ + L"LINK2.EXE") + L" /OUT:\"a b.exe\"");
    options.UnsetEnv = {L"VEXMOR_STANDIN_RECORD"};
    options.Env = {{L"VEXMOR_STANDIN_ORDER", work_ + L"order.txt"}};
    auto result = e2e::Run(options);

    EXPECT_EQ(result.ExitCode, 0u) << e2e::Describe(result);
    EXPECT_EQ(ReadBytes(work_ + L"LINK2.received.txt"), "/OUT:\"a b.exe\"");
    EXPECT_EQ(ReadBytes(work_ + L"order.txt"), "pre-link\r\nlink\r\n");
}

// --- the driver: environment, folder, timeout ------------------------------------------------

TEST_F(E2e, EnvironmentChangesReplaceInheritedVariablesWhateverTheirCase) {
    e2e::ScopedEnv inherited(L"VEXMOR_STANDIN_EXIT", L"5");
    auto options = Options(QuotedTool(L"LINK2.exe"));
    options.Env = {{L"VEXMOR_STANDIN_RECORD", work_ + L"record.txt"}};
    EXPECT_EQ(e2e::Run(options).ExitCode, 5u);

    options.Env.emplace_back(L"vexmor_standin_exit", L"6");
    EXPECT_EQ(e2e::Run(options).ExitCode, 6u);

    options.Env.pop_back();
    options.UnsetEnv = {L"Vexmor_Standin_Exit"};
    EXPECT_EQ(e2e::Run(options).ExitCode, 0u);
}

TEST_F(E2e, ChildStartsInTheGivenFolder) {
    auto options = Options(L"cmd.exe /c cd");
    options.WorkDir = work_;
    auto result = e2e::Run(options);
    EXPECT_EQ(result.ExitCode, 0u);
    std::wstring expected = work_.substr(0, work_.size() - 1);
    EXPECT_NE(result.StdOut.find(e2e::ToUtf8(expected)), std::string::npos) << result.StdOut;
}

TEST_F(E2e, TimeoutKillsTheWholeTree) {
    // A grandchild under a name of its own that would sleep ten minutes before it records.
    const std::wstring grandchild = work_ + L"Lingering.exe";
    ASSERT_TRUE(CopyFileW(Tool(L"LINK2.exe").c_str(), grandchild.c_str(), FALSE));
    auto options = Options(L"cmd.exe /c \"" + e2e::QuoteArgument(grandchild) + L" /OUT:late.exe\"");
    options.Env = {{L"VEXMOR_STANDIN_RECORD", work_ + L"record.txt"},
                   {L"VEXMOR_STANDIN_SLEEP_MS", L"600000"}};
    options.TimeoutMs = 5000;
    HANDLE seen = nullptr;
    std::atomic<bool> done = false;
    std::thread watcher([&] {
        for (; !seen && !done; std::this_thread::sleep_for(20ms)) {
            if (DWORD id = e2e::FindChild(0, L"Lingering.exe"))
                seen = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
        }
    });
    auto result = e2e::Run(options);
    done = true;
    watcher.join();

    EXPECT_TRUE(result.TimedOut);
    EXPECT_EQ(result.ExitCode, e2e::TimeoutExitCode);
    ASSERT_TRUE(seen) << "the grandchild never ran";
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(seen, 30000)) << "the grandchild survived";
    TerminateProcess(seen, 1);
    CloseHandle(seen);
    EXPECT_FALSE(ReadBytes(work_ + L"record.txt").has_value());
}

TEST(ProcessTree, CountsOnlyProcessesCreatedAfterTheParentTheyName) {
    // Wine's services name as parent a process that ended long ago; Wine gives its id to a new
    // process later, and that may be the run's child. Killing "its" tree on a timeout once took
    // the services down, and every later test then hung on the output they held open.
    std::map<std::uint32_t, std::uint64_t> members = {{48, 1000}};
    const std::vector<e2e::ProcessLink> links = {
        {64, 48, 10},    // a service: older than the child whose id its parent had
        {84, 64, 20},    // the service's own child
        {70, 48, 1100},  // the child's child
        {90, 70, 1200},  // and its grandchild
        {96, 90, 1150},  // an id reused by a process older than that grandchild
        {100, 100, 1300} // names itself
    };
    e2e::AddDescendants(members, links);

    std::map<std::uint32_t, std::uint64_t> expected = {{48, 1000}, {70, 1100}, {90, 1200}};
    EXPECT_EQ(members, expected);
}

// --- the driver: message boxes ---------------------------------------------------------------

TEST_F(E2e, ReadsAndAnswersBoxesInOrder) {
    auto options =
        Options(QuotedTool(L"BoxProbe.exe") +
                L" --caption \"Проба связи\" out \"до окна\" info \"Первая строка\nвторая\""
                L" warning-okcancel \"Продолжить?\" err \"после окна\"");
    options.Answers = {L"ok", L"cancel"};
    auto result = e2e::Run(options);

    ASSERT_EQ(result.Boxes.size(), 2u) << e2e::Describe(result);
    EXPECT_EQ(result.ExitCode, 11u) << e2e::Describe(result); // one OK
    const auto& info = result.Boxes[0];
    EXPECT_EQ(info.Caption, L"Проба связи");
    EXPECT_EQ(info.Text, L"Первая строка\nвторая");
    EXPECT_EQ(info.Icon, L"information");
    EXPECT_TRUE(info.HasOk);
    EXPECT_FALSE(info.HasCancel);
    EXPECT_EQ(info.Answer, L"ok");
    const auto& question = result.Boxes[1];
    EXPECT_EQ(question.Text, L"Продолжить?");
    EXPECT_EQ(question.Icon, L"warning");
    EXPECT_TRUE(question.HasOk);
    EXPECT_TRUE(question.HasCancel);
    EXPECT_EQ(question.Answer, L"cancel");
    EXPECT_EQ(result.StdOut, e2e::ToUtf8(L"до окна\r\n"));
    EXPECT_EQ(result.StdErr, e2e::ToUtf8(L"после окна\r\n"));
}

TEST_F(E2e, TellsTheIconsApartAndAnswersOkByDefault) {
    auto options = Options(QuotedTool(L"BoxProbe.exe") +
                           L" error e question-okcancel q none n info-okcancel i warning w");
    auto result = e2e::Run(options);

    ASSERT_EQ(result.Boxes.size(), 5u) << e2e::Describe(result);
    EXPECT_EQ(result.ExitCode, 15u) << e2e::Describe(result);
    const wchar_t* icons[] = {L"error", L"question", L"none", L"information", L"warning"};
    const wchar_t* texts[] = {L"e", L"q", L"n", L"i", L"w"};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(result.Boxes[i].Icon, icons[i]) << i;
        EXPECT_EQ(result.Boxes[i].Text, texts[i]) << i;
        EXPECT_EQ(result.Boxes[i].Caption, L"BoxProbe") << i;
        EXPECT_EQ(result.Boxes[i].Answer, L"ok") << i;
    }
}

TEST_F(E2e, CancelClosesABoxWithoutACancelButton) {
    auto options = Options(QuotedTool(L"BoxProbe.exe") + L" info один info два");
    options.Answers = {L"cancel"};
    auto result = e2e::Run(options);

    ASSERT_EQ(result.Boxes.size(), 2u) << e2e::Describe(result);
    EXPECT_FALSE(result.TimedOut);
    EXPECT_FALSE(result.Boxes[0].HasCancel);
    EXPECT_EQ(result.Boxes[0].Answer, L"cancel");
    EXPECT_EQ(result.Boxes[1].Answer, L"ok");
    // Windows turns a cancelled OK-only box into IDOK, Wine into IDCANCEL.
    EXPECT_TRUE(result.ExitCode == 11u || result.ExitCode == 12u) << e2e::Describe(result);
}

TEST_F(E2e, RejectsAnswersOtherThanOkAndCancel) {
    auto options = Options(QuotedTool(L"BoxProbe.exe") + L" info x");
    options.Answers = {L"yes"};
    EXPECT_THROW(e2e::Run(options), std::invalid_argument);
}

TEST_F(E2e, AnswersABoxOfAGrandchild) {
    auto options = Options(L"cmd.exe /c \"" + QuotedTool(L"BoxProbe.exe") +
                           L" --caption Внук error-okcancel \"из cmd\"\"");
    options.Answers = {L"cancel"};
    auto result = e2e::Run(options);

    ASSERT_EQ(result.Boxes.size(), 1u) << e2e::Describe(result);
    EXPECT_EQ(result.Boxes[0].Caption, L"Внук");
    EXPECT_EQ(result.Boxes[0].Text, L"из cmd");
    EXPECT_EQ(result.Boxes[0].Icon, L"error");
    EXPECT_EQ(result.ExitCode, 10u) << e2e::Describe(result); // cmd passes the code on
}

TEST_F(E2e, ShellOpenOfATextFileReachesTheRecorder) {
    const std::wstring file = work_ + L"build log.txt";
    WriteBytes(file, "log\r\n");
    auto options = Options(QuotedTool(L"BoxProbe.exe") + L" open " + e2e::QuoteArgument(file));
    options.Env = {{L"VEXMOR_OPEN_RECORD", work_ + L"opened.txt"}};
    auto result = e2e::Run(options);
    ASSERT_EQ(result.ExitCode, 10u) << e2e::Describe(result);

    // The shell starts the recorder on its own; give it time to write.
    auto opened = e2e::WaitForFile(work_ + L"opened.txt", 10s);
    ASSERT_TRUE(opened.has_value()) << "the recorder never ran: is the session started?";
    EXPECT_EQ(*opened, e2e::ToUtf8(L"\"" + file + L"\"\r\n"));
}

// --- the standalone driver -------------------------------------------------------------------

TEST_F(E2e, StandaloneDriverReportsBoxesOutputAndExitCode) {
    auto options = Options(QuotedTool(L"DialogDriver.exe") +
                           L" --answer cancel --timeout 20000 -- " + QuotedTool(L"BoxProbe.exe") +
                           L" out выход warning-okcancel \"Текст окна\" err ошибка");
    options.AnswerBoxes = false; // the inner driver answers
    auto result = e2e::Run(options);

    EXPECT_TRUE(result.Boxes.empty());
    EXPECT_EQ(result.ExitCode, 10u) << e2e::Describe(result);
    EXPECT_EQ(result.StdOut, e2e::ToUtf8(L"box: icon=warning caption=BoxProbe buttons=ok,cancel "
                                         L"answer=cancel\nТекст окна\n"
                                         L"stdout:\nвыход\nstderr:\nошибка\n"
                                         L"exit code: 10 (0x0000000A)\n"));
}

TEST_F(E2e, StandaloneDriverTakesAnExactCommandLineFromAFile) {
    // What a script cannot pass through Wine's own quoting of Unix arguments.
    const std::wstring args = L"/NOLOGO /OUT:\"C:\\Мои проекты\\Tool.exe\"";
    WriteBytes(work_ + L"command line.txt",
               "\xEF\xBB\xBF" + e2e::ToUtf8(QuotedTool(L"LINK2.exe") + L" " + args) + "\r\n");
    auto options = Options(QuotedTool(L"DialogDriver.exe") + L" --timeout 20000 --command-file " +
                           e2e::QuoteArgument(work_ + L"command line.txt"));
    options.Env = {{L"VEXMOR_STANDIN_RECORD", work_ + L"record.txt"},
                   {L"VEXMOR_STANDIN_EXIT", L"7"}};
    auto result = e2e::Run(options);

    EXPECT_EQ(result.ExitCode, 7u) << e2e::Describe(result);
    EXPECT_EQ(ReadBytes(work_ + L"record.txt"), e2e::ToUtf8(args));
    EXPECT_NE(result.StdOut.find("exit code: 7 (0x00000007)"), std::string::npos) << result.StdOut;
}

TEST_F(E2e, StandaloneDriverRejectsAMissingProgram) {
    auto options = Options(QuotedTool(L"DialogDriver.exe") + L" --answer ok");
    auto result = e2e::Run(options);
    EXPECT_EQ(result.ExitCode, 2u);
    EXPECT_NE(result.StdOut.find("usage:"), std::string::npos) << result.StdOut;
}

} // namespace
