#include "process/ChildRun.h"

#include "TestFolders.h"
#include "process/process_test_util.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace process_test;

namespace {

// The test child with the given arguments; "{h}" becomes the value of the pipe handle.
ChildRun::Result RunChild(const std::wstring& arguments, std::uint32_t timeoutMs = 60000) {
    return ChildRun::Run(
        [&](std::uintptr_t handle) {
            std::wstring line = QuotedChild() + L" " + arguments;
            const auto at = line.find(L"{h}");
            if (at != std::wstring::npos) line.replace(at, 3, std::to_wstring(handle));
            return line;
        },
        timeoutMs);
}

TEST(ChildRun, CollectsTheOutputAndExitCode) {
    // The handle named on the command line is the child's standard output.
    auto result = RunChild(L"7 out:one handle:{h}:two");
    EXPECT_EQ(result.How, ChildRun::Ending::Exited);
    EXPECT_EQ(result.ExitCode, 7u);
    EXPECT_EQ(result.Output, "one\r\ntwo\r\n");
}

// More than a pipe holds: the child could not end if the output were read only afterwards.
TEST(ChildRun, ReadsABigOutputWhileWaiting) {
    auto result = RunChild(L"0 bulk:3000000");
    EXPECT_EQ(result.How, ChildRun::Ending::Exited);
    EXPECT_EQ(result.Output, std::string(3000000, 'x'));
}

TEST(ChildRun, KillsAChildThatDoesNotEndInTime) {
    auto result = RunChild(L"0 out:started sleep:600000", 500);
    EXPECT_EQ(result.How, ChildRun::Ending::TimedOut);
    EXPECT_EQ(result.Output, "started\r\n");
}

TEST(ChildRun, ReportsAProgramThatCannotStart) {
    auto result = ChildRun::Run(
        [](std::uintptr_t) {
            return L"\"" + TestFolders::ProgramFolder().wstring() + L"\\no-such-program.exe\"";
        },
        1000);
    EXPECT_EQ(result.How, ChildRun::Ending::NotStarted);
    EXPECT_EQ(result.LastError, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
}

} // namespace
