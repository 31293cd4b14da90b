#include "platform/MessageBox.h"

#include "AppInfo.h"

#include <windows.h>

namespace platform {

Answer ShowMessage(const std::wstring& text, Icon icon, Buttons buttons) {
    UINT flags = MB_TASKMODAL | MB_SETFOREGROUND;
    flags |= buttons == Buttons::OkCancel ? MB_OKCANCEL : MB_OK;
    switch (icon) {
    case Icon::Information:
        flags |= MB_ICONINFORMATION;
        break;
    case Icon::Error:
        flags |= MB_ICONERROR;
        break;
    case Icon::Warning:
        flags |= MB_ICONWARNING;
        break;
    }
    // Without a display the box cannot be shown and the call fails at once: that is no OK.
    int result = MessageBoxW(nullptr, text.c_str(), VEXMOR_TITLE_W, flags);
    return result == IDOK ? Answer::Ok : Answer::Cancel;
}

} // namespace platform
