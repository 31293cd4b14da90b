// QZVSP0100A.DLL: the C boundary over the text operations, plus the few that need Windows.
#include "QZVSP0100A/QZVSP0100A_api.h"

#include "QZVSP0100A/StringOps.h"
#include "common/DllBoundary.h"

#include <cstdint>
#include <string>

using DllBoundary::Deliver;
using DllBoundary::Flag;
using DllBoundary::Run;
using DllBoundary::View;

namespace {

bool IsTrailingBreak(wchar_t c) {
    return c == L'\r' || c == L'\n' || c == L' ' || c == L'\t';
}

// The system's text for the code; empty when it has none.
std::wstring SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::wstring text;
    if (length != 0 && buffer) text.assign(buffer, length);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && IsTrailingBreak(text.back())) text.pop_back();
    return text;
}

HICON LoadGroupIcon(HMODULE module, const std::wstring& group, int sizeMetricX, int sizeMetricY) {
    return static_cast<HICON>(LoadImageW(module, group.c_str(), IMAGE_ICON,
                                         GetSystemMetrics(sizeMetricX),
                                         GetSystemMetrics(sizeMetricY), LR_DEFAULTCOLOR));
}

} // namespace

extern "C" {

HRESULT WINAPI TrimEx(BSTR text, BSTR* result) {
    return Run(result, [&] { return Deliver(StringOps::TrimEx(View(text)), result); });
}

HRESULT WINAPI TrimEx2(BSTR text, VARIANT_BOOL blank, VARIANT_BOOL tab, VARIANT_BOOL cr,
                       VARIANT_BOOL lf, VARIANT_BOOL nul, VARIANT_BOOL vt, VARIANT_BOOL ff,
                       VARIANT_BOOL nbsp, VARIANT_BOOL ideographic, VARIANT_BOOL bom,
                       BSTR* result) {
    return Run(result, [&] {
        StringOps::TrimSelection selection{Flag(blank),       Flag(tab), Flag(cr), Flag(lf),
                                           Flag(nul),         Flag(vt),  Flag(ff), Flag(nbsp),
                                           Flag(ideographic), Flag(bom)};
        return Deliver(StringOps::TrimEx2(View(text), selection), result);
    });
}

HRESULT WINAPI TrimCRLF(BSTR text, BSTR* result) {
    return Run(result, [&] { return Deliver(StringOps::TrimCRLF(View(text)), result); });
}

HRESULT WINAPI UnicodeToUtf8(BSTR text, BSTR* utf8) {
    return Run(utf8, [&] {
        return DllBoundary::DeliverBytes(StringOps::UnicodeToUtf8(View(text)), utf8);
    });
}

HRESULT WINAPI FormatVersion(LONG major, LONG minor, LONG revision, BSTR* result) {
    return Run(result, [&] {
        return Deliver(StringOps::FormatVersion(static_cast<std::uint32_t>(major),
                                                static_cast<std::uint32_t>(minor),
                                                static_cast<std::uint32_t>(revision)),
                       result);
    });
}

HRESULT WINAPI GetStringFromPointerA(LPCSTR text, BSTR* result) {
    return Run(result, [&]() -> HRESULT {
        if (!text) return E_POINTER;
        int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
        if (size <= 0) return DllBoundary::LastErrorStatus();
        std::wstring converted(static_cast<size_t>(size), L'\0');
        if (MultiByteToWideChar(CP_ACP, 0, text, -1, converted.data(), size) != size) {
            return DllBoundary::LastErrorStatus();
        }
        converted.pop_back(); // the terminating NUL counted by the conversion
        return Deliver(converted, result);
    });
}

HRESULT WINAPI GetErrorNumber(LONG number, BSTR* result) {
    return Run(result, [&] {
        return Deliver(StringOps::GetErrorNumber(static_cast<std::int32_t>(number)), result);
    });
}

HRESULT WINAPI GetAPIErrorDescription(DWORD code, BSTR* result) {
    return Run(result, [&] {
        std::wstring text = SystemMessage(code);
        if (text.empty()) text = StringOps::UnknownErrorDescription(code);
        return Deliver(text, result);
    });
}

HRESULT WINAPI SetWindowResIconAll(HWND window, BSTR iconGroup) {
    return Run([&]() -> HRESULT {
        if (!window || View(iconGroup).empty()) return E_INVALIDARG;
        DWORD owner = 0;
        if (!IsWindow(window) || !GetWindowThreadProcessId(window, &owner)) {
            return HRESULT_FROM_WIN32(ERROR_INVALID_WINDOW_HANDLE);
        }
        // Our icons mean nothing to another process's window.
        if (owner != GetCurrentProcessId()) return E_ACCESSDENIED;

        std::wstring group(View(iconGroup));
        HMODULE program = GetModuleHandleW(nullptr);
        HICON bigIcon = LoadGroupIcon(program, group, SM_CXICON, SM_CYICON);
        if (!bigIcon) return DllBoundary::LastErrorStatus(ERROR_RESOURCE_NAME_NOT_FOUND);
        HICON smallIcon = LoadGroupIcon(program, group, SM_CXSMICON, SM_CYSMICON);
        if (!smallIcon) {
            HRESULT status = DllBoundary::LastErrorStatus(ERROR_RESOURCE_NAME_NOT_FOUND);
            DestroyIcon(bigIcon);
            return status;
        }
        // The window uses the icons for as long as it lives, so they are not destroyed here.
        SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
        SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
        return S_OK;
    });
}

} // extern "C"
