#include "process/ChildRun.h"

#include "TestFolders.h"
#include "process/process_test_util.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace process_test;

namespace {

using Clock = std::chrono::steady_clock;

// The test child with the given arguments; "{h}" becomes the value of its pipe's handle.
std::unique_ptr<ChildRun::Child> StartChild(const std::wstring& arguments) {
    std::uint32_t error = 0;
    auto child = ChildRun::Child::Start(
        [&](const ChildRun::Child::Handles& handles) {
            std::wstring line = QuotedChild() + L" " + arguments;
            for (auto at = line.find(L"{h}"); at != std::wstring::npos; at = line.find(L"{h}"))
                line.replace(at, 3, std::to_wstring(handles.Pipe));
            return line;
        },
        error);
    EXPECT_TRUE(child) << error;
    return child;
}

// Everything the child writes until the event that ends the wait.
ChildRun::Child::Event ReceiveAll(ChildRun::Child& child, std::string& received,
                                  std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    ChildRun::Child::Event event;
    while ((event = child.Receive(received, deadline)) == ChildRun::Child::Event::Data) {
    }
    return event;
}

TEST(ChildRun, CollectsWhatTheChildWritesOnItsPipeAndItsExitCode) {
    auto child = StartChild(L"7 handle:{h}:one out:lost handle:{h}:two");
    ASSERT_TRUE(child);
    std::string received;
    EXPECT_EQ(ReceiveAll(*child, received, std::chrono::seconds(60)),
              ChildRun::Child::Event::Ended);
    EXPECT_EQ(child->ExitCode(), 7u);
    // Its standard output goes nowhere near the pipe.
    EXPECT_EQ(received, "one\r\ntwo\r\n");
}

// More than a pipe holds: the child could not end if the output were read only afterwards.
TEST(ChildRun, ReadsABigOutputWhileWaiting) {
    auto child = StartChild(L"0 bulk:3000000:{h}");
    ASSERT_TRUE(child);
    std::string received;
    EXPECT_EQ(ReceiveAll(*child, received, std::chrono::seconds(60)),
              ChildRun::Child::Event::Ended);
    EXPECT_EQ(received, std::string(3000000, 'x'));
}

TEST(ChildRun, GivesUpAtTheDeadlineAndEndsAChildThatRunsOn) {
    auto child = StartChild(L"0 handle:{h}:started sleep:600000");
    ASSERT_TRUE(child);
    std::string received;
    const auto start = Clock::now();
    EXPECT_EQ(ReceiveAll(*child, received, std::chrono::milliseconds(500)),
              ChildRun::Child::Event::TimedOut);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(received, "started\r\n");
    child->End();
    EXPECT_TRUE(child->Ended());
    EXPECT_EQ(child->ExitCode(), ChildRun::kEndedCode);
}

TEST(ChildRun, ReportsAProgramThatCannotStart) {
    std::uint32_t error = 0;
    auto child = ChildRun::Child::Start(
        [](const ChildRun::Child::Handles&) {
            return L"\"" + TestFolders::ProgramFolder().wstring() + L"\\no-such-program.exe\"";
        },
        error);
    EXPECT_FALSE(child);
    EXPECT_EQ(error, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
}

} // namespace
