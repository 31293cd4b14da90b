#include "process/modLaunchProcess.h"

#include "process/csStdFile.h"
#include "process/process_test_util.h"
#include "support/AppError.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace process_test;

namespace {

constexpr std::uint32_t kSentinel = 0xA5A5A5A5u;
constexpr std::uintptr_t kHandleSentinel = 0x5A5A5A5Au;

// One call with every argument spelled out; the outputs start as sentinels so that a test sees
// which of them the call wrote.
struct Launch {
    std::wstring cmdLine;
    bool inheritHandles = false;
    std::uint32_t creationFlags = NORMAL_PRIORITY_CLASS;
    std::wstring currentDirectory;
    std::int32_t waitMode = 1;
    std::uint32_t waitTimeout = INFINITE;
    bool failCriticalErrors = false;
    std::int32_t showCommand = SW_HIDE;
    std::wstring desktop;
    bool useStdHandles = false;
    std::uintptr_t stdInput = 0;
    std::uintptr_t stdOutput = 0;
    std::uintptr_t stdError = 0;
    bool returnHandles = false;

    std::uint32_t processExitCode = kSentinel;
    std::uint32_t threadExitCode = kSentinel;
    std::uint32_t lastError = kSentinel;
    std::uintptr_t processHandle = kHandleSentinel;
    std::uintptr_t threadHandle = kHandleSentinel;

    bool Run() {
        return modLaunchProcess::csLaunchProcess(
            cmdLine, inheritHandles, creationFlags, currentDirectory, waitMode, waitTimeout, false,
            failCriticalErrors, showCommand, desktop, processExitCode, threadExitCode, lastError,
            useStdHandles, stdInput, stdOutput, stdError, returnHandles, processHandle,
            threadHandle);
    }
    void CaptureInto(const csStdFile& file) {
        useStdHandles = true;
        stdOutput = file.hFile();
        stdError = file.hFile();
    }
    HANDLE Process() const { return reinterpret_cast<HANDLE>(processHandle); }
    HANDLE Thread() const { return reinterpret_cast<HANDLE>(threadHandle); }
};

std::uint32_t ThrownNumber(Launch& launch) {
    try {
        launch.Run();
    } catch (const AppError& e) {
        EXPECT_FALSE(e.Description.empty());
        return e.Number;
    }
    return 0;
}

std::wstring Trimmed(const std::string& bytes) {
    std::wstring text = Widen(bytes);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
        text.pop_back();
    }
    return text;
}

// A named event that a child started with Step() waits for: it ends only once it is set.
struct Release {
    std::wstring name = L"vexmor-release-" + std::to_wstring(GetCurrentProcessId());
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, name.c_str());
    ~Release() { CloseHandle(event); }
    std::wstring Step() const { return L" wait:" + name; }
};

HANDLE g_release = nullptr;
void CALLBACK SetReleaseOnTick(HWND, UINT, UINT_PTR, DWORD) {
    SetEvent(g_release);
}

// A child started by mistake leaves "started" in the folder. Start one that leaves "known" and
// wait for it: after that, nothing else may be there.
void ExpectOnlyTheKnownChildRan(const std::wstring& folder) {
    Launch known;
    known.cmdLine = QuotedChild() + L" 0 file:" + folder + L"\\known";
    ASSERT_TRUE(known.Run());
    EXPECT_EQ(ListFolder(folder), std::vector<std::wstring>{L"known"});
}

} // namespace

TEST(csLaunchProcessArguments, BadWaitModeIsRejectedBeforeAnythingStarts) {
    std::wstring folder = TestFolders::Fresh(L"waitmode").wstring();
    for (std::int32_t mode : {-1, 3}) {
        Launch launch;
        launch.cmdLine = QuotedChild() + L" 0 file:" + folder + L"\\started";
        launch.waitMode = mode;
        EXPECT_EQ(ThrownNumber(launch), 5u) << "wait mode " << mode;
        EXPECT_EQ(launch.lastError, kSentinel);
        EXPECT_EQ(launch.processExitCode, kSentinel);
    }
    ExpectOnlyTheKnownChildRan(folder);
}

TEST(csLaunchProcessArguments, ShowCommandMustFitSixteenSignedBits) {
    std::wstring folder = TestFolders::Fresh(L"showcommand").wstring();
    for (std::int32_t show : {40000, 32768, -32769}) {
        Launch launch;
        launch.cmdLine = QuotedChild() + L" 0 file:" + folder + L"\\started";
        launch.showCommand = show;
        EXPECT_EQ(ThrownNumber(launch), 6u) << "show command " << show;
        EXPECT_EQ(launch.lastError, kSentinel);
    }
    ExpectOnlyTheKnownChildRan(folder);

    for (std::int32_t show : {32767, -32768}) {
        Launch launch;
        launch.cmdLine = QuotedChild() + L" 7";
        launch.showCommand = show;
        EXPECT_TRUE(launch.Run()) << "show command " << show;
        EXPECT_EQ(launch.processExitCode, 7u);
    }
}

TEST(csLaunchProcessWait, NoWaitReturnsAtOnceWithZeroExitCodes) {
    Release release;
    Launch launch;
    launch.cmdLine = QuotedChild() + L" 5" + release.Step();
    launch.waitMode = 0;
    launch.returnHandles = true;
    ASSERT_TRUE(launch.Run());
    EXPECT_EQ(launch.processExitCode, 0u);
    EXPECT_EQ(launch.threadExitCode, 0u);

    // The returned handles are the child's own: it waits for us, then ends with its code.
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(launch.Process(), &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    SetEvent(release.event);
    ASSERT_EQ(WaitForSingleObject(launch.Process(), 10000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeProcess(launch.Process(), &code));
    EXPECT_EQ(code, 5u);
    ASSERT_EQ(WaitForSingleObject(launch.Thread(), 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(launch.Process()));
    EXPECT_TRUE(CloseHandle(launch.Thread()));
}

TEST(csLaunchProcessWait, BlockingWaitReadsBothExitCodes) {
    Launch viaCmd;
    viaCmd.cmdLine = L"cmd /C exit 7";
    ASSERT_TRUE(viaCmd.Run());
    EXPECT_EQ(viaCmd.processExitCode, 7u);

    Launch negative;
    negative.cmdLine = QuotedChild() + L" -3 sleep:300";
    ASSERT_TRUE(negative.Run());
    EXPECT_EQ(negative.processExitCode, 0xFFFFFFFDu);
    EXPECT_EQ(negative.threadExitCode, 0xFFFFFFFDu);
    // Handles not asked for are closed, the caller's variables left alone.
    EXPECT_EQ(negative.processHandle, kHandleSentinel);
    EXPECT_EQ(negative.threadHandle, kHandleSentinel);
}

TEST(csLaunchProcessWait, BlockingWaitTimeoutLeavesChildStillActive) {
    Release release;
    Launch launch;
    launch.cmdLine = QuotedChild() + L" 0" + release.Step();
    launch.waitTimeout = 300;
    launch.returnHandles = true;
    ASSERT_TRUE(launch.Run());
    EXPECT_EQ(launch.processExitCode, STILL_ACTIVE);
    EXPECT_EQ(launch.threadExitCode, STILL_ACTIVE);
    SetEvent(release.event);
    WaitForSingleObject(launch.Process(), 30000);
    CloseHandle(launch.Process());
    CloseHandle(launch.Thread());
}

TEST(csLaunchProcessWait, PumpingWaitDispatchesMessagesUntilTheChildEnds) {
    // The child ends only when this thread's timer fires, which takes someone dispatching its
    // messages; without that it gives up with 99.
    Release release;
    g_release = release.event;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, SetReleaseOnTick);
    ASSERT_NE(timer, 0u);
    Launch launch;
    launch.cmdLine = QuotedChild() + L" 9" + release.Step();
    launch.waitMode = 2;
    launch.waitTimeout = 1; // the pumping wait has no timeout
    bool started = launch.Run();
    KillTimer(nullptr, timer);
    ASSERT_TRUE(started);
    EXPECT_EQ(launch.processExitCode, 9u);
    EXPECT_EQ(launch.threadExitCode, 9u);
}

TEST(csLaunchProcessStart, MissingProgramFailsAndLeavesCodesAndHandles) {
    std::wstring folder = TestFolders::Fresh(L"missing").wstring();
    for (std::int32_t mode : {0, 1, 2}) {
        Launch launch;
        launch.cmdLine = L"\"" + folder + L"\\no such program.exe\" arg";
        launch.waitMode = mode;
        launch.returnHandles = true;
        EXPECT_FALSE(launch.Run());
        EXPECT_EQ(launch.lastError, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(launch.processExitCode, kSentinel);
        EXPECT_EQ(launch.threadExitCode, kSentinel);
        EXPECT_EQ(launch.processHandle, kHandleSentinel);
        EXPECT_EQ(launch.threadHandle, kHandleSentinel);
    }
}

// Wine does not hand the error mode down to children, so only our side is checked: the mode
// lent for the start must not stick to this process, whether the start works or not.
TEST(csLaunchProcessStart, CriticalErrorModeIsRestoredAfterTheStart) {
    std::wstring folder = TestFolders::Fresh(L"errormode").wstring();
    UINT original = SetErrorMode(SEM_NOGPFAULTERRORBOX);

    Launch started;
    started.cmdLine = QuotedChild() + L" 0";
    started.failCriticalErrors = true;
    EXPECT_TRUE(started.Run());
    EXPECT_EQ(GetErrorMode(), static_cast<UINT>(SEM_NOGPFAULTERRORBOX));

    Launch failing;
    failing.cmdLine = L"\"" + folder + L"\\absent.exe\"";
    failing.failCriticalErrors = true;
    EXPECT_FALSE(failing.Run());
    EXPECT_EQ(GetErrorMode(), static_cast<UINT>(SEM_NOGPFAULTERRORBOX));

    Launch plain;
    plain.cmdLine = QuotedChild() + L" 0";
    EXPECT_TRUE(plain.Run());
    EXPECT_EQ(GetErrorMode(), static_cast<UINT>(SEM_NOGPFAULTERRORBOX));

    SetErrorMode(original);
}

TEST(csLaunchProcessStdHandles, BothStreamsReachOneFileInTheOrderWritten) {
    std::wstring folder = TestFolders::Fresh(L"capture").wstring();
    csStdFile capture;
    ASSERT_TRUE(capture.CreateNewFile(folder + L"\\child.txt"));
    Launch child;
    child.cmdLine = QuotedChild() + L" 0 out:one err:two out:three err:four";
    child.CaptureInto(capture);
    ASSERT_TRUE(child.Run());
    capture.CloseFile();
    EXPECT_EQ(ReadBytes(folder + L"\\child.txt"), "one\r\ntwo\r\nthree\r\nfour\r\n");

    ASSERT_TRUE(capture.CreateNewFile(folder + L"\\cmd.txt"));
    Launch shell;
    shell.cmdLine = L"cmd /C echo out& echo err 1>&2";
    shell.CaptureInto(capture);
    ASSERT_TRUE(shell.Run());
    capture.CloseFile();
    std::string text = ReadBytes(folder + L"\\cmd.txt");
    size_t out = text.find("out");
    size_t err = text.find("err");
    ASSERT_NE(out, std::string::npos) << text;
    ASSERT_NE(err, std::string::npos) << text;
    EXPECT_LT(out, err) << text;
}

TEST(csLaunchProcessStdHandles, ZeroHandleMeansTheCallersOwn) {
    std::wstring folder = TestFolders::Fresh(L"ownhandles").wstring();
    csStdFile given, own;
    ASSERT_TRUE(given.CreateNewFile(folder + L"\\given.txt"));
    ASSERT_TRUE(own.CreateNewFile(folder + L"\\own.txt"));
    HANDLE saved = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_ERROR_HANDLE, reinterpret_cast<HANDLE>(own.hFile()));

    Launch launch;
    launch.cmdLine = QuotedChild() + L" 0 out:to-given err:to-own";
    launch.useStdHandles = true;
    launch.stdOutput = given.hFile();
    bool started = launch.Run();
    SetStdHandle(STD_ERROR_HANDLE, saved);
    ASSERT_TRUE(started);
    given.CloseFile();
    own.CloseFile();
    EXPECT_EQ(ReadBytes(folder + L"\\given.txt"), "to-given\r\n");
    EXPECT_EQ(ReadBytes(folder + L"\\own.txt"), "to-own\r\n");
}

TEST(csLaunchProcessStart, ChildStartsInTheGivenFolderOrInOurs) {
    std::wstring folder = TestFolders::Fresh(L"cwd").wstring();
    csStdFile capture;

    ASSERT_TRUE(capture.CreateNewFile(folder + L"\\given.txt"));
    Launch given;
    given.cmdLine = L"cmd /C cd";
    given.currentDirectory = folder;
    given.CaptureInto(capture);
    ASSERT_TRUE(given.Run());
    capture.CloseFile();
    EXPECT_EQ(lstrcmpiW(Trimmed(ReadBytes(folder + L"\\given.txt")).c_str(), folder.c_str()), 0);

    ASSERT_TRUE(capture.CreateNewFile(folder + L"\\ours.txt"));
    Launch ours;
    ours.cmdLine = L"cmd /C cd";
    ours.CaptureInto(capture);
    ASSERT_TRUE(ours.Run());
    capture.CloseFile();
    wchar_t current[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH, current);
    std::wstring expected = current;
    if (expected.size() > 3 && expected.back() == L'\\') expected.pop_back();
    EXPECT_EQ(lstrcmpiW(Trimmed(ReadBytes(folder + L"\\ours.txt")).c_str(), expected.c_str()), 0);
}

TEST(csLaunchProcessStart, NamedDesktopIsAccepted) {
    Launch launch;
    launch.cmdLine = QuotedChild() + L" 4";
    launch.desktop = L"WinSta0\\Default";
    ASSERT_TRUE(launch.Run()) << launch.lastError;
    EXPECT_EQ(launch.processExitCode, 4u);
}

TEST(csLaunchProcessStdHandles, HandlesAreInheritedWhenAskedOrWhenStdHandlesAreGiven) {
    std::wstring folder = TestFolders::Fresh(L"inherit").wstring();
    struct Case {
        bool inheritHandles;
        bool useStdHandles;
        const char* expected;
    };
    for (const Case& c : {Case{false, false, ""}, Case{true, false, "reached\r\n"},
                          Case{false, true, "reached\r\n"}}) {
        csStdFile shared, streams;
        ASSERT_TRUE(shared.CreateNewFile(folder + L"\\shared.txt"));
        ASSERT_TRUE(streams.CreateNewFile(folder + L"\\streams.txt"));
        Launch launch;
        // The child gets the raw handle value; it is only valid there if it was inherited.
        launch.cmdLine =
            QuotedChild() + L" 0 handle:" + std::to_wstring(shared.hFile()) + L":reached";
        launch.inheritHandles = c.inheritHandles;
        if (c.useStdHandles) launch.CaptureInto(streams);
        ASSERT_TRUE(launch.Run());
        shared.CloseFile();
        streams.CloseFile();
        EXPECT_EQ(ReadBytes(folder + L"\\shared.txt"), c.expected)
            << "inherit " << c.inheritHandles << ", std handles " << c.useStdHandles;
    }
}
