// Starting a child process with every CreateProcess knob the callers need, optionally waiting
// for it while the caller's windows stay responsive.
#pragma once

#include <cstdint>
#include <string>

namespace modLaunchProcess {

// Wait modes: return at once, block for up to WaitTimeout ms, or poll until the child ends while
// pumping this thread's window messages.
inline constexpr std::int32_t kWaitNone = 0;
inline constexpr std::int32_t kWaitBlocking = 1;
inline constexpr std::int32_t kWaitPumping = 2;

// Starts CmdLine. False when the process could not be created: LastError then holds the reason
// and the exit codes and handles are left as they were. LastError is set in either case.
// Std handles given as 0 are the caller's own. With ReturnHandles the caller closes the two
// handles. Throws AppError 5 for a bad WaitMode and 6 when ShowCommand does not fit 16 bits,
// before anything is started.
bool csLaunchProcess(const std::wstring& CmdLine, bool InheritHandles, std::uint32_t CreationFlags,
                     const std::wstring& CurrentDirectory, std::int32_t WaitMode,
                     std::uint32_t WaitTimeout, bool ForceOffFeedback, bool FailCriticalErrors,
                     std::int32_t ShowCommand, const std::wstring& Desktop,
                     std::uint32_t& ProcessExitCode, std::uint32_t& ThreadExitCode,
                     std::uint32_t& LastError, bool UseStdHandles, std::uintptr_t StdInput,
                     std::uintptr_t StdOutput, std::uintptr_t StdError, bool ReturnHandles,
                     std::uintptr_t& ProcessHandle, std::uintptr_t& ThreadHandle);

} // namespace modLaunchProcess
