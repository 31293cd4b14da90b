// The string support library's operations for the native build: the portable logic directly,
// and stand-ins where the library would ask Windows.
#include "support/QZVSP0100A.h"

#include "QZVSP0100A/StringOps.h"
#include "support/SupportFailure.h"

namespace QZVSP0100A {

std::wstring TrimEx(const std::wstring& text) {
    return StringOps::TrimEx(text);
}

std::wstring TrimEx2(const std::wstring& text, bool blank, bool tab, bool cr, bool lf, bool nul,
                     bool vt, bool ff, bool nbsp, bool ideographic, bool bom) {
    return StringOps::TrimEx2(text, {blank, tab, cr, lf, nul, vt, ff, nbsp, ideographic, bom});
}

std::wstring TrimCRLF(const std::wstring& text) {
    return StringOps::TrimCRLF(text);
}

std::string UnicodeToUtf8(const std::wstring& text) {
    return StringOps::UnicodeToUtf8(text);
}

std::wstring FormatVersion(std::int32_t major, std::int32_t minor, std::int32_t revision) {
    return StringOps::FormatVersion(static_cast<std::uint32_t>(major),
                                    static_cast<std::uint32_t>(minor),
                                    static_cast<std::uint32_t>(revision));
}

// Latin-1 stands in for the ANSI code page.
std::wstring GetStringFromPointerA(const char* text) {
    if (!text) {
        throw SupportFailure::Make(SupportFailure::kPointerStatus, L"QZVSP0100A.DLL",
                                   L"GetStringFromPointerA");
    }
    std::wstring converted;
    for (; *text != '\0'; ++text)
        converted += static_cast<wchar_t>(static_cast<unsigned char>(*text));
    return converted;
}

std::wstring GetErrorNumber(std::int32_t number) {
    return StringOps::GetErrorNumber(number);
}

std::wstring GetAPIErrorDescription(std::uint32_t code) {
    return L"Ошибка " + StringOps::GetErrorNumber(static_cast<std::int32_t>(code));
}

void SetWindowResIconAll(std::uintptr_t, const std::wstring&) {}

} // namespace QZVSP0100A
