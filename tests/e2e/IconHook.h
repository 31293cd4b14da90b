// What the icon hook leaves on a message box for the dialog driver.
#pragma once

namespace e2e {

// Window property on the box; its value is an IconKind. Absent until the box is initialised.
inline constexpr const wchar_t* IconKindProperty = L"VexmorIconKind";

enum class IconKind : int {
    Information = 1,
    Error = 2,
    Warning = 3,
    Question = 4,
    None = 5,  // no icon shown
    Other = 6, // an icon, but none of the four system icons
};

// The exported WH_CALLWNDPROCRET procedure of VexmorIconHook.dll.
inline constexpr const char* IconHookProcName = "VexmorCallWndRetProc";

} // namespace e2e
