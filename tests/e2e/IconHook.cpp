// A hook that the dialog driver installs for every thread. Icon handles are only meaningful
// inside the process that shows a box, so the icon kind is read here, in that process, and left
// in a window property where the driver can read it.
// The box is looked at when its WM_INITDIALOG has been handled: that is where a message box sets
// its icon. Activation is too early under Wine, which activates the box before initialising it.
#include "IconHook.h"

#include <windows.h>

#include <cwchar>

namespace {

// The icon control of a message box.
constexpr int IconControlId = 0x440;

e2e::IconKind KindOf(HWND box) {
    HWND control = GetDlgItem(box, IconControlId);
    if (control == nullptr) return e2e::IconKind::None;
    auto icon = reinterpret_cast<HICON>(SendMessageW(control, STM_GETICON, 0, 0));
    // The style, not IsWindowVisible: the box itself is not visible yet.
    bool shown = (GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
    if (icon == nullptr || !shown) return e2e::IconKind::None;
    // IDI_ASTERISK, IDI_HAND and IDI_EXCLAMATION are the same resources under older names.
    if (icon == LoadIconW(nullptr, IDI_INFORMATION)) return e2e::IconKind::Information;
    if (icon == LoadIconW(nullptr, IDI_ERROR)) return e2e::IconKind::Error;
    if (icon == LoadIconW(nullptr, IDI_WARNING)) return e2e::IconKind::Warning;
    if (icon == LoadIconW(nullptr, IDI_QUESTION)) return e2e::IconKind::Question;
    return e2e::IconKind::Other;
}

bool IsDialog(HWND window) {
    wchar_t className[16] = {};
    return GetClassNameW(window, className, 16) > 0 && std::wcscmp(className, L"#32770") == 0;
}

} // namespace

extern "C" LRESULT CALLBACK VexmorCallWndRetProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (call->message == WM_INITDIALOG && IsDialog(call->hwnd)) {
            auto kind = static_cast<INT_PTR>(KindOf(call->hwnd));
            SetPropW(call->hwnd, e2e::IconKindProperty, reinterpret_cast<HANDLE>(kind));
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
