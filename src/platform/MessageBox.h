// Messages to the user: modal message boxes, the program's usual way of talking to the user, or
// lines on standard error in an unattended build. The caption is always the program's title.
#pragma once

#include <optional>
#include <string>

namespace platform {

enum class Icon { Information, Error, Warning };
enum class Buttons { Ok, OkCancel };
enum class Answer { Ok, Cancel };

// Every message of the program goes through here.
Answer ShowMessage(const std::wstring& text, Icon icon, Buttons buttons = Buttons::Ok);

// The platform's side of ShowMessage; the native test build links recording fakes of these.
Answer ShowBox(const std::wstring& text, Icon icon, Buttons buttons);
// Writes the line to standard error; a closed or missing one loses it without a word.
void WriteErrorLine(const std::wstring& line);
// The variable's value, or nothing when it is not set.
std::optional<std::wstring> EnvironmentValue(const wchar_t* name);

} // namespace platform
