#include "Fakes.h"

#include "platform/AppIdentity.h"
#include "process/modLauncher.h"

#include "support/QZVSP0100B.h"

namespace fakes {

State& Get() {
    static State state;
    return state;
}

void Reset() { Get() = State(); }

} // namespace fakes

namespace platform {

Answer ShowMessage(const std::wstring& text, Icon icon, Buttons buttons) {
    auto& state = fakes::Get();
    state.Messages.push_back({text, icon, buttons});
    if (buttons == Buttons::OkCancel && !state.Answers.empty()) {
        Answer answer = state.Answers.front();
        state.Answers.pop_front();
        return answer;
    }
    return Answer::Ok;
}

std::wstring ProgramFolder() { return fakes::Get().ProgramFolder; }
std::wstring ProcessCommandLine() { return fakes::Get().CommandLine; }
void InitCommonControls() {}
void EndProcess(std::uint32_t exitCode) { throw fakes::ProcessEnded{exitCode}; }

} // namespace platform

namespace modLauncher {

bool LaunchProcess(const std::wstring& ProgramFile, const std::wstring& Arguments,
                   std::uintptr_t, std::int32_t& ExitCode, std::uint32_t* StartError) {
    auto& state = fakes::Get();
    state.Launches.push_back({L"process", ProgramFile, Arguments, L"", L""});
    if (!state.LinkerStarts) {
        if (StartError) *StartError = state.StartError;
        return false;
    }
    ExitCode = state.LinkerExitCode;
    return true;
}

bool LaunchBATFile(const std::wstring& ScriptFile, const std::wstring& TargetFile,
                   const std::wstring& CaptureFileName, const std::wstring& FailureText) {
    auto& state = fakes::Get();
    // Like the real launcher: a missing script is no error and runs nothing.
    if (!QZVSP0100B::IsFileExist(ScriptFile)) return true;
    state.Launches.push_back({L"script", ScriptFile, TargetFile, CaptureFileName, FailureText});
    return true;
}

} // namespace modLauncher
