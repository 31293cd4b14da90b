// Modal message boxes, the program's only way of talking to the user. The caption is always
// the program's title. The native test build links a recording fake instead.
#pragma once

#include <string>

namespace platform {

enum class Icon { Information, Error, Warning };
enum class Buttons { Ok, OkCancel };
enum class Answer { Ok, Cancel };

Answer ShowMessage(const std::wstring& text, Icon icon, Buttons buttons = Buttons::Ok);

} // namespace platform
