// The dialog driver of the end-to-end tests: starts a program, reads every message box that the
// program or any of its descendants shows (caption, text, icon, buttons), answers it, and returns
// what happened together with the program's exit code and captured output.
// Needs VexmorIconHook.dll beside the running program and, under Wine, an X display.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace e2e {

struct BoxRecord {
    std::wstring Caption;
    std::wstring Text;
    // "information", "error", "warning", "question", "none" (no icon), "other" (an icon that is
    // none of the four) or "unknown" (the icon hook did not report in time).
    std::wstring Icon;
    bool HasOk = false;     // a control with id IDOK exists
    bool HasCancel = false; // a control with id IDCANCEL exists
    std::wstring Answer;    // "ok" or "cancel": what the driver pressed
};

struct RunOptions {
    // The whole command line, program first, exactly as the child gets it.
    std::wstring CommandLine;
    // Working folder of the child; empty: the caller's.
    std::wstring WorkDir;
    // Set or override in the child's environment (names compare case-insensitively).
    std::vector<std::pair<std::wstring, std::wstring>> Env;
    // Remove from the child's environment.
    std::vector<std::wstring> UnsetEnv;
    // Per box, in the order the boxes appear: "ok" or "cancel". Boxes beyond the list get "ok",
    // or "cancel" when they have no OK button.
    std::vector<std::wstring> Answers;
    // After this the child and all its descendants are killed and TimedOut is set.
    std::uint32_t TimeoutMs = 60000;
    // false: leave the boxes alone (another driver inside the tree answers them).
    bool AnswerBoxes = true;
};

struct RunResult {
    std::uint32_t ExitCode = 0;
    std::vector<BoxRecord> Boxes;
    std::string StdOut; // bytes as the child wrote them
    std::string StdErr;
    bool TimedOut = false;
};

// Exit code that the child gets when it is killed on timeout.
inline constexpr std::uint32_t TimeoutExitCode = 258; // WAIT_TIMEOUT

// Runs the program and waits for it. Throws std::system_error when it cannot be started or the
// icon hook cannot be installed, std::invalid_argument on an answer other than "ok"/"cancel".
RunResult Run(const RunOptions& options);

// One readable block per box, then the output streams and the exit code (UTF-8; line ends shown
// as plain newlines), for failure messages and for DialogDriver.exe.
std::string Describe(const BoxRecord& box);
std::string Describe(const RunResult& result);

// Quotes one argument so that CommandLineToArgvW and the C runtime read it back unchanged.
std::wstring QuoteArgument(std::wstring_view argument);

// How the driver decides which processes belong to a run (exposed for its test). Parent ids
// alone prove nothing: Wine hands a freed process id out again, so a process counts only if it
// was created after the member it names as parent.
struct ProcessLink {
    std::uint32_t Id;
    std::uint32_t Parent;
    std::uint64_t Created; // creation time, any monotonic unit
};
// members: id -> creation time; gains every process of links that descends from a member.
void AddDescendants(std::map<std::uint32_t, std::uint64_t>& members,
                    const std::vector<ProcessLink>& links);

} // namespace e2e
