// Runs its argument text as a command line under a debugger, as a development environment that
// debugs its builds would, and ends with the debuggee's exit code. The debuggee must behave as it
// does without a debugger: no boxes of its own, the same exit code.
#include "HelperCommon.h"

#include <windows.h>

#include <string>

namespace {

// Handles the debugger receives belong to it; leaving them open would keep the files in use.
void CloseEventHandles(const DEBUG_EVENT& event) {
    if (event.dwDebugEventCode == CREATE_PROCESS_DEBUG_EVENT) {
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
    } else if (event.dwDebugEventCode == LOAD_DLL_DEBUG_EVENT) {
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
    }
}

} // namespace

int main() {
    std::wstring commandLine(e2e::ArgumentText(GetCommandLineW()));
    if (commandLine.empty()) {
        const char text[] = "usage: DebugRunner <program> [arguments]\r\n";
        e2e::WriteAll(GetStdHandle(STD_ERROR_HANDLE), text);
        return 2;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // Our own standard handles are inherited, so the debuggee writes where we would.
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                        DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &startup, &info)) {
        return static_cast<int>(0x0DEB0000u | (GetLastError() & 0xFFFF));
    }
    CloseHandle(info.hThread);

    DWORD exitCode = 0;
    for (bool running = true; running;) {
        DEBUG_EVENT event{};
        if (!WaitForDebugEvent(&event, INFINITE)) break;
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
        case EXCEPTION_DEBUG_EVENT:
            // The loader's breakpoint is ours; every other exception is the debuggee's to handle.
            if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT &&
                event.u.Exception.ExceptionRecord.ExceptionCode != 0x4000001F /* WOW64 bp */) {
                status = DBG_EXCEPTION_NOT_HANDLED;
            }
            break;
        case EXIT_PROCESS_DEBUG_EVENT:
            exitCode = event.u.ExitProcess.dwExitCode;
            running = false;
            break;
        default:
            CloseEventHandles(event);
            break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    }
    WaitForSingleObject(info.hProcess, INFINITE);
    GetExitCodeProcess(info.hProcess, &exitCode);
    CloseHandle(info.hProcess);
    return static_cast<int>(exitCode);
}
