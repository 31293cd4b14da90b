// The build driver: start-up, the command line for the real linker, the linker's run and the
// project's build steps around it.
#pragma once

#include "context/BuildContext.h"

#include <cstdint>
#include <string>
#include <vector>

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

// The steps after a successful link.
enum class PostStep { Compress, Sign, Manifest, EmbeddedManifest, PostBuild, ImageSettings };
// The steps the options ask for, in the order they run. The post-build step is always listed:
// it runs when its script exists.
std::vector<PostStep> PostSteps(const CConfig& config, bool isDLL);
// The step as the user reads it in a message.
const wchar_t* StepName(PostStep step);
// False when a step reported an error (a failed script, a manifest not written).
bool DoAdditionalStepsPost(const BuildContext& context);
// Whether the manifest will need type libraries read (a library's, or the components' that the
// option file names), so that the reading can start before the link.
bool ReadsAhead(const BuildContext& context);

// The message shown when the program is started without arguments.
std::wstring UsageMessage();

} // namespace modMain
