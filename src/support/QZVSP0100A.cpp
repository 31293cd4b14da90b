// The string support library's operations through QZVSP0100A.DLL.
#include "support/QZVSP0100A.h"

#include "QZVSP0100A/QZVSP0100A_api.h"
#include "support/SupportCall_win.h"

namespace QZVSP0100A {
namespace {

const wchar_t kLibrary[] = L"QZVSP0100A.DLL";

VARIANT_BOOL Flag(bool value) {
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

} // namespace

std::wstring TrimEx(const std::wstring& text) {
    SupportCall call(kLibrary, L"TrimEx");
    call.Check(::TrimEx(call.In(text), call.Out()));
    return call.Text();
}

std::wstring TrimEx2(const std::wstring& text, bool blank, bool tab, bool cr, bool lf, bool nul,
                     bool vt, bool ff, bool nbsp, bool ideographic, bool bom) {
    SupportCall call(kLibrary, L"TrimEx2");
    call.Check(::TrimEx2(call.In(text), Flag(blank), Flag(tab), Flag(cr), Flag(lf), Flag(nul),
                         Flag(vt), Flag(ff), Flag(nbsp), Flag(ideographic), Flag(bom), call.Out()));
    return call.Text();
}

std::wstring TrimCRLF(const std::wstring& text) {
    SupportCall call(kLibrary, L"TrimCRLF");
    call.Check(::TrimCRLF(call.In(text), call.Out()));
    return call.Text();
}

std::string UnicodeToUtf8(const std::wstring& text) {
    SupportCall call(kLibrary, L"UnicodeToUtf8");
    call.Check(::UnicodeToUtf8(call.In(text), call.Out()));
    return call.Bytes();
}

std::wstring FormatVersion(std::int32_t major, std::int32_t minor, std::int32_t revision) {
    SupportCall call(kLibrary, L"FormatVersion");
    call.Check(::FormatVersion(major, minor, revision, call.Out()));
    return call.Text();
}

std::wstring GetStringFromPointerA(const char* text) {
    SupportCall call(kLibrary, L"GetStringFromPointerA");
    call.Check(::GetStringFromPointerA(text, call.Out()));
    return call.Text();
}

std::wstring GetErrorNumber(std::int32_t number) {
    SupportCall call(kLibrary, L"GetErrorNumber");
    call.Check(::GetErrorNumber(number, call.Out()));
    return call.Text();
}

std::wstring GetAPIErrorDescription(std::uint32_t code) {
    SupportCall call(kLibrary, L"GetAPIErrorDescription");
    call.Check(::GetAPIErrorDescription(code, call.Out()));
    return call.Text();
}

void SetWindowResIconAll(std::uintptr_t window, const std::wstring& iconGroup) {
    SupportCall call(kLibrary, L"SetWindowResIconAll");
    call.Check(::SetWindowResIconAll(reinterpret_cast<HWND>(window), call.In(iconGroup)));
}

} // namespace QZVSP0100A
