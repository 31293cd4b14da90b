#include "process/modLauncher.h"

#include "common/AsciiText.h"
#include "platform/AnsiFile.h"
#include "platform/MessageBox.h"
#include "process/csStdFile.h"
#include "process/modLaunchProcess.h"
#include "support/ErrorText.h"
#include "support/QZVSP0100A.h"
#include "support/QZVSP0100B.h"

#include <windows.h>
#include <shellapi.h>

namespace modLauncher {

namespace {

// Only "BAT" is compared, and no letter outside ASCII upper-cases to B, A or T.
bool IsBatExtension(const std::wstring& extension) {
    return AsciiText::Upper(extension) == L"BAT";
}

} // namespace

std::wstring BuildCommandLine(const std::wstring& ProgramFile, const std::wstring& Arguments) {
    std::wstring line = L"\"" + ProgramFile + L"\" " + Arguments;
    // A script is no program: the command interpreter runs it, the outer quotes keeping the
    // quoted name and arguments together.
    if (IsBatExtension(QZVSP0100B::GetFileExtension(ProgramFile))) {
        line = L"CMD /C \"" + line + L"\"";
    }
    return line;
}

bool LaunchProcess(const std::wstring& ProgramFile, const std::wstring& Arguments,
                   std::uintptr_t OutputHandle, std::int32_t& ExitCode, std::uint32_t* StartError) {
    std::uint32_t processExitCode = 0;
    std::uint32_t threadExitCode = 0;
    std::uint32_t lastError = 0;
    std::uintptr_t processHandle = 0;
    std::uintptr_t threadHandle = 0;
    const bool started = modLaunchProcess::csLaunchProcess(
        /*CmdLine=*/BuildCommandLine(ProgramFile, Arguments),
        /*InheritHandles=*/false,
        /*CreationFlags=*/NORMAL_PRIORITY_CLASS,
        /*CurrentDirectory=*/L"", // ours
        /*WaitMode=*/modLaunchProcess::kWaitBlocking,
        /*WaitTimeout=*/INFINITE,
        /*ForceOffFeedback=*/false,
        /*FailCriticalErrors=*/false, // the child gets the system's default error mode
        /*ShowCommand=*/SW_HIDE,
        /*Desktop=*/L"",
        /*ProcessExitCode=*/processExitCode,
        /*ThreadExitCode=*/threadExitCode,
        /*LastError=*/lastError,
        /*UseStdHandles=*/true, // which makes the child inherit handles
        /*StdInput=*/0,         // our own
        /*StdOutput=*/OutputHandle,
        /*StdError=*/OutputHandle,
        /*ReturnHandles=*/false,
        /*ProcessHandle=*/processHandle,
        /*ThreadHandle=*/threadHandle);
    if (started) {
        ExitCode = static_cast<std::int32_t>(processExitCode);
        return true;
    }
    if (StartError) *StartError = lastError;
    platform::ShowMessage(
        StartFailureText(
            ProgramFile, QZVSP0100A::GetErrorNumber(static_cast<std::int32_t>(lastError)),
            ErrorText::WithFileName(QZVSP0100A::GetAPIErrorDescription(lastError), ProgramFile)),
        platform::Icon::Error, platform::Buttons::Ok);
    return false;
}

bool LaunchBATFile(const std::wstring& ScriptFile, const std::wstring& TargetFile,
                   const std::wstring& CaptureFileName, const std::wstring& FailureText) {
    if (!QZVSP0100B::IsFileExist(ScriptFile)) return true;
    const std::wstring captureName = QZVSP0100B::BuildFileName2(
        QZVSP0100B::GetTempFolder(), CaptureFileName, L"", L"", L"", L"", L"", L"", L"");
    // Without a capture file the script still runs, its output going to our own console.
    csStdFile capture;
    const bool captured = capture.CreateNewFile(captureName);
    std::int32_t exitCode = 0;
    const bool started =
        LaunchProcess(ScriptFile, L"\"" + TargetFile + L"\"", capture.hFile(), exitCode);
    capture.CloseFile();
    if (started && exitCode != 0 && !captured) {
        // Nothing was captured: there is no file to offer.
        platform::ShowMessage(ScriptFile + L"\r\n\r\n" + FailureText, platform::Icon::Warning,
                              platform::Buttons::Ok);
        return false;
    }
    if (started && exitCode != 0) {
        platform::Answer answer =
            platform::ShowMessage(ScriptFile + L"\r\n\r\n" + FailureText + L"\r\n\r\n" +
                                      L"Открыть файл с сообщениями об ошибках?",
                                  platform::Icon::Warning, platform::Buttons::OkCancel);
        if (answer == platform::Answer::Ok) {
            // The wide name on NT, so that a temporary folder outside the ANSI code page works.
            if (QZVSP0100B::IsHostWinNT()) {
                ShellExecuteW(nullptr, L"open", capture.Name().c_str(), L"", L"", SW_SHOWDEFAULT);
            } else {
                ShellExecuteA(nullptr, "open", platform::ToAnsi(capture.Name()).c_str(), "", "",
                              SW_SHOWDEFAULT);
            }
        }
        return false;
    }
    return started;
}

} // namespace modLauncher
