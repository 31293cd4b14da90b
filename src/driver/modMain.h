// The build driver: start-up, the command line for the real linker, the linker's run and the
// project's build steps around it.
#pragma once

#include "context/BuildContext.h"

#include <cstdint>
#include <string>

namespace modMain {

// The program entry. Returns the exit code for the paths that do not end the process inside
// StartLinker: 0, or the error's number (never 0) when an unexpected error reached it.
int Main();
void CheckConfigAndRun();
// Shows an error that nothing else handled, with its number and description; returns the exit
// code to end with: the number, or 1 for a number of 0.
int ReportUnexpectedError(std::uint32_t number, const std::wstring& description);
void RunLinker(BuildContext& context);
// Runs LINK2.EXE from the program's folder and, outside the development environment, ends the
// process with the linker's exit code.
void StartLinker(BuildContext& context, bool RunSteps);
void DoAdditionalStepsPre(const BuildContext& context);
// False when a step reported an error (a failed script, a manifest not written).
bool DoAdditionalStepsPost(const BuildContext& context);

// Every occurrence of search (which starts with a blank) replaced, letter case counting;
// a switch at the very start of the line matches too.
std::wstring ReplaceSwitch(const std::wstring& commandLine, const std::wstring& search,
                           const std::wstring& replacement);
// The command line with the project's options applied, in their fixed order.
std::wstring RewriteCommandLine(const std::wstring& commandLine, const CConfig& config,
                                const std::wstring& defFileName,
                                const std::wstring& configFileName);
// The message shown when the program is started without arguments.
std::wstring UsageMessage();

} // namespace modMain
