// Recording fakes of the platform and the process layer for the native unit tests.
#pragma once

#include "platform/MessageBox.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace fakes {

struct ShownMessage {
    std::wstring Text;
    platform::Icon Icon;
    platform::Buttons Buttons;
};

// Thrown where the real program would end the process.
struct ProcessEnded {
    std::uint32_t ExitCode;
};

struct LaunchCall {
    std::wstring Kind; // "process" or "script"
    std::wstring Program;
    std::wstring Arguments; // for a script: its target file
    std::wstring CaptureName;
    std::wstring FailureText;
};

struct State {
    std::vector<ShownMessage> Messages;
    std::deque<platform::Answer> Answers; // answers to OK/Cancel boxes, in order; then Ok
    std::wstring CommandLine;             // the process command line
    std::wstring ProgramFolder = L"C:\\Tools";
    std::vector<LaunchCall> Launches;
    bool LinkerStarts = true;        // false: the linker fails to start
    std::uint32_t StartError = 2;    // the platform error of a failed start
    std::int32_t LinkerExitCode = 0; // the exit code of a started linker
};

// The one state of the fakes; Reset() before each test.
State& Get();
void Reset();

} // namespace fakes
