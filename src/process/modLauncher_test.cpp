#include "process/modLauncher.h"

#include "process/csStdFile.h"
#include "process/process_test_util.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace process_test;

namespace {

bool Contains(const std::wstring& text, const std::wstring& part) {
    return text.find(part) != std::wstring::npos;
}

// The scripts' output arrives in the console code page; the tests keep it ASCII.
void ExpectInOrder(const std::string& text, std::initializer_list<const char*> parts) {
    size_t from = 0;
    for (const char* part : parts) {
        size_t at = text.find(part, from);
        ASSERT_NE(at, std::string::npos) << "missing or out of order: " << part << "\n" << text;
        from = at + 1;
    }
}

} // namespace

TEST(BuildCommandLine, ProgramsAreQuotedAndFollowedByABlank) {
    EXPECT_EQ(modLauncher::BuildCommandLine(L"C:\\DevEnv\\LINK2.EXE", L"/OUT:\"a b.exe\" x.obj"),
              L"\"C:\\DevEnv\\LINK2.EXE\" /OUT:\"a b.exe\" x.obj");
    EXPECT_EQ(modLauncher::BuildCommandLine(L"C:\\DevEnv\\LINK2.EXE", L""),
              L"\"C:\\DevEnv\\LINK2.EXE\" ");
}

TEST(BuildCommandLine, OnlyBatScriptsGoThroughTheInterpreter) {
    EXPECT_EQ(modLauncher::BuildCommandLine(L"C:\\p q\\post.bat", L"\"C:\\out\\a.exe\""),
              L"CMD /C \"\"C:\\p q\\post.bat\" \"C:\\out\\a.exe\"\"");
    EXPECT_EQ(modLauncher::BuildCommandLine(L"C:\\p\\Post.Bat", L""),
              L"CMD /C \"\"C:\\p\\Post.Bat\" \"");
    EXPECT_EQ(modLauncher::BuildCommandLine(L"C:\\p\\post.cmd", L"x"), L"\"C:\\p\\post.cmd\" x");
    EXPECT_EQ(modLauncher::BuildCommandLine(L"C:\\p\\post.bat.exe", L"x"),
              L"\"C:\\p\\post.bat.exe\" x");
    EXPECT_EQ(modLauncher::BuildCommandLine(L"C:\\scripts.bat\\tool", L"x"),
              L"\"C:\\scripts.bat\\tool\" x");
    EXPECT_EQ(modLauncher::BuildCommandLine(L"C:\\p\\post.batch", L"x"),
              L"\"C:\\p\\post.batch\" x");
}

TEST(LaunchProcess, ExitCodeAndBothStreamsComeBack) {
    std::wstring folder = TestFolders::Fresh(L"launch").wstring();
    std::wstring child = (TestFolders::ProgramFolder() / L"process_test_child.exe").wstring();
    csStdFile capture;
    ASSERT_TRUE(capture.CreateNewFile(folder + L"\\out.txt"));
    std::int32_t exitCode = 12345;
    ASSERT_TRUE(
        modLauncher::LaunchProcess(child, L"-1 out:first err:second", capture.hFile(), exitCode));
    capture.CloseFile();
    EXPECT_EQ(exitCode, -1);
    EXPECT_EQ(ReadBytes(folder + L"\\out.txt"), "first\r\nsecond\r\n");
}

TEST(LaunchProcess, ScriptExitCodePassesThroughTheInterpreter) {
    std::wstring folder = TestFolders::Fresh(L"launch script").wstring();
    std::wstring script = folder + L"\\exit three.bat";
    WriteBytes(script, "@echo off\r\necho arg=%~1\r\nexit /b 3\r\n");
    csStdFile capture;
    ASSERT_TRUE(capture.CreateNewFile(folder + L"\\out.txt"));
    std::int32_t exitCode = 0;
    ASSERT_TRUE(modLauncher::LaunchProcess(script, L"\"a b\"", capture.hFile(), exitCode));
    capture.CloseFile();
    EXPECT_EQ(exitCode, 3);
    ExpectInOrder(ReadBytes(folder + L"\\out.txt"), {"arg=a b"});
}

TEST(LaunchProcess, MissingProgramReportsAndKeepsTheExitCode) {
    std::wstring folder = TestFolders::Fresh(L"launch-missing").wstring();
    std::wstring program = folder + L"\\LINK2.EXE";
    BoxAnswerer boxes;
    std::int32_t exitCode = 77;
    EXPECT_FALSE(modLauncher::LaunchProcess(program, L"x.obj", 0, exitCode));
    EXPECT_EQ(exitCode, 77);
    const auto texts = boxes.Stop();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_TRUE(
        Contains(texts[0], program + L"\r\n\r\nНе удалось запустить.\r\n\r\nWin32 error: 2"))
        << texts[0];
}

TEST(LaunchProcess, ASystemTextWithAnInsertNamesTheProgram) {
    // Not a program at all: the system's text for it names the file as "%1".
    std::wstring folder = TestFolders::Fresh(L"launch-garbage").wstring();
    std::wstring program = folder + L"\\LINK2.EXE";
    WriteBytes(program, "this is not a program\r\n");
    BoxAnswerer boxes;
    std::int32_t exitCode = 0;
    EXPECT_FALSE(modLauncher::LaunchProcess(program, L"x.obj", 0, exitCode));
    const auto texts = boxes.Stop();
    ASSERT_EQ(texts.size(), 1u);
    const std::wstring description = texts[0].substr(texts[0].find(L"Description: "));
    EXPECT_FALSE(Contains(description, L"%1")) << texts[0];
    EXPECT_TRUE(Contains(description, program)) << texts[0];
}

class LaunchBATFile : public ::testing::Test {
  protected:
    void SetUp() override {
        std::wstring name = Widen(::testing::UnitTest::GetInstance()->current_test_info()->name());
        temp_ = TestFolders::Fresh(L"temp-" + name).wstring();
        scripts_ = TestFolders::Fresh(L"scripts with blanks-" + name).wstring();
        Save(L"TMP", savedTmp_);
        Save(L"TEMP", savedTemp_);
        // The capture file goes to the temporary folder; each test gets its own.
        SetEnvironmentVariableW(L"TMP", temp_.c_str());
        SetEnvironmentVariableW(L"TEMP", temp_.c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"TMP", savedTmp_.empty() ? nullptr : savedTmp_.c_str());
        SetEnvironmentVariableW(L"TEMP", savedTemp_.empty() ? nullptr : savedTemp_.c_str());
    }
    static void Save(const wchar_t* name, std::wstring& value) {
        wchar_t buffer[32768] = {};
        DWORD size = GetEnvironmentVariableW(name, buffer, 32768);
        value.assign(buffer, size);
    }
    std::wstring Script(const std::wstring& name, const std::string& body) {
        std::wstring path = scripts_ + L"\\" + name;
        WriteBytes(path, body);
        return path;
    }

    std::wstring temp_;
    std::wstring scripts_;
    std::wstring savedTmp_;
    std::wstring savedTemp_;
};

TEST_F(LaunchBATFile, MissingScriptIsNoFailureAndLeavesNoCaptureFile) {
    BoxAnswerer boxes;
    EXPECT_TRUE(modLauncher::LaunchBATFile(scripts_ + L"\\PostBuild.bat", L"C:\\out\\a.exe",
                                           L"PostBuild.log", L"failed"));
    EXPECT_TRUE(ListFolder(temp_).empty());
    EXPECT_TRUE(boxes.Stop().empty());
}

TEST_F(LaunchBATFile, SucceedingScriptGetsTheTargetAndItsOutputIsCaptured) {
    std::wstring script = Script(L"post build.bat", "@echo off\r\n"
                                                    "echo target=%~1\r\n"
                                                    "echo problem 1>&2\r\n"
                                                    "echo done\r\n"
                                                    "exit /b 0\r\n");
    BoxAnswerer boxes;
    EXPECT_TRUE(modLauncher::LaunchBATFile(script, L"C:\\out dir\\My App.exe", L"PostBuild.log",
                                           L"failed"));
    EXPECT_TRUE(boxes.Stop().empty());
    ExpectInOrder(ReadBytes(temp_ + L"\\PostBuild.log"),
                  {"target=C:\\out dir\\My App.exe", "problem", "done"});
}

TEST_F(LaunchBATFile, FailingScriptIsReportedAndItsOutputKept) {
    std::wstring script = Script(L"pre build.bat", "@echo off\r\n"
                                                   "echo compiling %~nx1\r\n"
                                                   "echo error X1 1>&2\r\n"
                                                   "exit /b 3\r\n");
    // A stale capture from an earlier build must not survive.
    WriteBytes(temp_ + L"\\PreBuild.log", "stale stale stale stale stale stale\r\n");
    const std::wstring failure = L"Ошибка при выполнении сценария перед сборкой.";
    BoxAnswerer boxes;
    EXPECT_FALSE(modLauncher::LaunchBATFile(script, L"C:\\out\\a.exe", L"PreBuild.log", failure));
    const auto texts = boxes.Stop();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], script + L"\r\n\r\n" + failure + L"\r\n\r\n" +
                            L"Открыть файл с сообщениями об ошибках?");
    std::string captured = ReadBytes(temp_ + L"\\PreBuild.log");
    ExpectInOrder(captured, {"compiling a.exe", "error X1"});
    EXPECT_EQ(captured.find("stale"), std::string::npos) << captured;
}

TEST_F(LaunchBATFile, ScriptStillRunsWhenTheCaptureFileCannotBeCreated) {
    std::wstring script = Script(L"post.bat", "@echo off\r\n"
                                              "echo ran> \"%~dp0ran.txt\"\r\n"
                                              "exit /b 0\r\n");
    EXPECT_TRUE(
        modLauncher::LaunchBATFile(script, L"C:\\out\\a.exe", L"no such folder\\x.log", L"failed"));
    EXPECT_TRUE(Exists(scripts_ + L"\\ran.txt"));
}

TEST_F(LaunchBATFile, WithoutACaptureFileAFailureOffersNothingToOpen) {
    std::wstring script = Script(L"sign.bat", "@echo off\r\nexit /b 4\r\n");
    BoxAnswerer boxes;
    EXPECT_FALSE(
        modLauncher::LaunchBATFile(script, L"C:\\out\\a.exe", L"no such folder\\x.log", L"failed"));
    const auto texts = boxes.Stop();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], script + L"\r\n\r\nfailed");
}
