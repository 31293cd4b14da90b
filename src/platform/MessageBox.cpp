#include "platform/MessageBox.h"

#include "platform/Unattended.h"

namespace platform {

// The one place that decides how a message reaches the user.
Answer ShowMessage(const std::wstring& text, Icon icon, Buttons buttons) {
    if (!Unattended::Active()) return ShowBox(text, icon, buttons);
    WriteErrorLine(Unattended::Line(text, icon));
    return Unattended::SafeAnswer(buttons);
}

} // namespace platform
