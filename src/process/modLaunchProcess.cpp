#include "process/modLaunchProcess.h"

#include "platform/AnsiFile.h"
#include "support/AppError.h"
#include "support/QZVSP0100B.h"

#include <windows.h>

#include <vector>

namespace modLaunchProcess {

namespace {

// CreateProcessW may write into the command line, so every string goes in a buffer of its own.
std::vector<wchar_t> WideBuffer(const std::wstring& text) {
    std::vector<wchar_t> buffer(text.begin(), text.end());
    buffer.push_back(L'\0');
    return buffer;
}

std::vector<char> AnsiBuffer(const std::wstring& text) {
    std::string bytes = platform::ToAnsi(text);
    std::vector<char> buffer(bytes.begin(), bytes.end());
    buffer.push_back('\0');
    return buffer;
}

HANDLE StdHandleOr(std::uintptr_t given, DWORD which) {
    return given != 0 ? reinterpret_cast<HANDLE>(given) : GetStdHandle(which);
}

// Fills what both STARTUPINFO flavours share; the caller has zeroed it and set cb and lpDesktop.
template <typename StartupInfo>
void FillStartupInfo(StartupInfo& si, bool forceOffFeedback, std::int16_t showWindow,
                     bool useStdHandles, std::uintptr_t stdInput, std::uintptr_t stdOutput,
                     std::uintptr_t stdError) {
    si.dwFlags = STARTF_USESHOWWINDOW | (forceOffFeedback ? STARTF_FORCEOFFFEEDBACK : 0) |
                 (useStdHandles ? STARTF_USESTDHANDLES : 0);
    si.wShowWindow = static_cast<WORD>(showWindow);
    if (useStdHandles) {
        si.hStdInput = StdHandleOr(stdInput, STD_INPUT_HANDLE);
        si.hStdOutput = StdHandleOr(stdOutput, STD_OUTPUT_HANDLE);
        si.hStdError = StdHandleOr(stdError, STD_ERROR_HANDLE);
    }
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

} // namespace

bool csLaunchProcess(const std::wstring& CmdLine, bool InheritHandles, std::uint32_t CreationFlags,
                     const std::wstring& CurrentDirectory, std::int32_t WaitMode,
                     std::uint32_t WaitTimeout, bool ForceOffFeedback, bool FailCriticalErrors,
                     std::int32_t ShowCommand, const std::wstring& Desktop,
                     std::uint32_t& ProcessExitCode, std::uint32_t& ThreadExitCode,
                     std::uint32_t& LastError, bool UseStdHandles, std::uintptr_t StdInput,
                     std::uintptr_t StdOutput, std::uintptr_t StdError, bool ReturnHandles,
                     std::uintptr_t& ProcessHandle, std::uintptr_t& ThreadHandle) {
    if (WaitMode < kWaitNone || WaitMode > kWaitPumping) {
        throw AppError(kInvalidArgumentNumber, L"Недопустимый вызов процедуры или аргумент.");
    }
    // Windows 9x has no desktops to choose from.
    std::wstring desktop = QZVSP0100B::IsHostWin9x() ? std::wstring() : Desktop;
    if (ShowCommand < -32768 || ShowCommand > 32767) {
        throw AppError(kOverflowNumber, L"Переполнение.");
    }
    const auto showWindow = static_cast<std::int16_t>(ShowCommand);

    const bool isNT = QZVSP0100B::IsHostWinNT();
    STARTUPINFOW siW{};
    STARTUPINFOA siA{};
    std::vector<wchar_t> cmdW, folderW, desktopW;
    std::vector<char> cmdA, folderA;
    if (isNT) {
        siW.cb = sizeof(siW);
        cmdW = WideBuffer(CmdLine);
        folderW = WideBuffer(CurrentDirectory);
        if (!desktop.empty()) {
            desktopW = WideBuffer(desktop);
            siW.lpDesktop = desktopW.data();
        }
        FillStartupInfo(siW, ForceOffFeedback, showWindow, UseStdHandles, StdInput, StdOutput,
                        StdError);
    } else {
        siA.cb = sizeof(siA);
        cmdA = AnsiBuffer(CmdLine);
        folderA = AnsiBuffer(CurrentDirectory);
        FillStartupInfo(siA, ForceOffFeedback, showWindow, UseStdHandles, StdInput, StdOutput,
                        StdError);
    }

    DWORD flags = CreationFlags;
    UINT oldErrorMode = 0;
    if (FailCriticalErrors) {
        oldErrorMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    } else {
        flags |= CREATE_DEFAULT_ERROR_MODE;
    }
    // A child cannot use the handles it was given unless it inherits them.
    const BOOL inherit = (InheritHandles || UseStdHandles) ? TRUE : FALSE;

    PROCESS_INFORMATION pi{};
    BOOL created;
    if (isNT) {
        created = CreateProcessW(nullptr, cmdW.data(), nullptr, nullptr, inherit, flags, nullptr,
                                 CurrentDirectory.empty() ? nullptr : folderW.data(), &siW, &pi);
    } else {
        created = CreateProcessA(nullptr, cmdA.data(), nullptr, nullptr, inherit, flags, nullptr,
                                 CurrentDirectory.empty() ? nullptr : folderA.data(), &siA, &pi);
    }
    LastError = GetLastError();
    if (FailCriticalErrors) SetErrorMode(oldErrorMode);
    if (!created) return false;

    if (WaitMode == kWaitBlocking) {
        WaitForSingleObject(pi.hProcess, WaitTimeout);
    } else if (WaitMode == kWaitPumping) {
        // The caller may own windows: keep them alive while the child runs.
        DWORD state;
        do {
            Sleep(250);
            PumpMessages();
            state = WaitForSingleObject(pi.hProcess, 0);
        } while (state == WAIT_TIMEOUT);
    }

    if (WaitMode == kWaitNone) {
        ProcessExitCode = 0;
        ThreadExitCode = 0;
    } else {
        // A failing query leaves the value as it was, as if the API had written to it directly.
        DWORD code = ProcessExitCode;
        GetExitCodeProcess(pi.hProcess, &code);
        ProcessExitCode = code;
        code = ThreadExitCode;
        GetExitCodeThread(pi.hThread, &code);
        ThreadExitCode = code;
    }

    if (ReturnHandles) {
        ProcessHandle = reinterpret_cast<std::uintptr_t>(pi.hProcess);
        ThreadHandle = reinterpret_cast<std::uintptr_t>(pi.hThread);
    } else {
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    return true;
}

} // namespace modLaunchProcess
