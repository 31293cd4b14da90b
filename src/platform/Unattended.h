// Builds with nobody at the screen. With VEXMOR_LINK_UNATTENDED=1 in the environment no box ever
// waits for an answer: each message becomes one line on standard error, a question takes the
// answer that changes nothing, and a post-link step that failed fails the build.
#pragma once

#include "platform/MessageBox.h"

#include <cstdint>
#include <optional>
#include <string>

namespace Unattended {

inline constexpr wchar_t kVariable[] = L"VEXMOR_LINK_UNATTENDED";

// Only "1" switches it on: any other value keeps the boxes exactly as they were.
bool IsRequested(const std::optional<std::wstring>& value);
// Whether this run was asked to be unattended (read from the environment each time).
bool Active();
// The message as one line of standard error: the title, the kind from the icon ("error: ",
// "warning: ", "note: "), the text with each CR LF as " | ", and CR LF.
std::wstring Line(const std::wstring& text, platform::Icon icon);
// The answer that changes nothing: a question is declined.
platform::Answer SafeAnswer(platform::Buttons buttons);
// What the run ends with after the linker ended with linkerExitCode. Unattended, a successful
// link whose post-link steps reported an error ends with 1, so a build server sees the failure.
std::uint32_t ExitCode(std::uint32_t linkerExitCode, bool stepFailed, bool unattended);

} // namespace Unattended
