// Running the linker and the project's build scripts with their output in a capture file.
#pragma once

#include <cstdint>
#include <string>

namespace modLauncher {

// The command line for a program: its name quoted, a blank, then the arguments. A .BAT script
// is handed to the command interpreter as CMD /C "<that line>".
std::wstring BuildCommandLine(const std::wstring& ProgramFile, const std::wstring& Arguments);

// Runs the program hidden and waits for it, its standard output and error going to
// OutputHandle (0: the program's own). True with ExitCode set when it ran; when it could not be
// started the user is told why, false is returned, ExitCode is left as it was and StartError
// (when given) receives the system error of the failed start.
bool LaunchProcess(const std::wstring& ProgramFile, const std::wstring& Arguments,
                   std::uintptr_t OutputHandle, std::int32_t& ExitCode,
                   std::uint32_t* StartError = nullptr);

// Runs ScriptFile, when it exists, with the quoted TargetFile as its argument and its output in
// CaptureFileName under the temporary folder. When the script fails the user is shown
// FailureText and offered the capture file. True when there was no script or it succeeded.
bool LaunchBATFile(const std::wstring& ScriptFile, const std::wstring& TargetFile,
                   const std::wstring& CaptureFileName, const std::wstring& FailureText);

// The text that tells the user a program could not be started: its name, the words, then the
// error's number in its display form and its description.
inline std::wstring StartFailureText(const std::wstring& ProgramFile, const std::wstring& Number,
                                     const std::wstring& Description) {
    return ProgramFile + L"\r\n\r\nНе удалось запустить.\r\n\r\nWin32 error: " + Number +
           L"\r\nDescription: " + Description;
}

} // namespace modLauncher
