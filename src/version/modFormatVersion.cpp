#include "version/modFormatVersion.h"

#include "common/AsciiText.h"

#include "AppInfo.h"

namespace modFormatVersion {
namespace {

// Case folding for the letters the notices are written in: Latin and Cyrillic.
wchar_t FoldCase(wchar_t c) {
    if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c + 32);
    if (c >= 0x0410 && c <= 0x042F) return static_cast<wchar_t>(c + 32);   // А..Я
    if (c >= 0x0400 && c <= 0x040F) return static_cast<wchar_t>(c + 0x50); // Ѐ..Џ, Ё among them
    return c;
}

// Whole-text match where "[0-9]" stands for one decimal digit and every other character for
// itself, letters without regard to case.
bool MatchesPattern(const std::wstring& text, const std::wstring& pattern) {
    static const std::wstring digit = L"[0-9]";
    size_t t = 0;
    for (size_t p = 0; p < pattern.size();) {
        if (t >= text.size()) return false;
        if (pattern.compare(p, digit.size(), digit) == 0) {
            if (text[t] < L'0' || text[t] > L'9') return false;
            p += digit.size();
        } else {
            if (FoldCase(text[t]) != FoldCase(pattern[p])) return false;
            ++p;
        }
        ++t;
    }
    return t == text.size();
}

constexpr wchar_t kRussianHead[] = L"Авторские права © ";
constexpr wchar_t kRussianTail[] = L" Vexmor. Все права защищены.";
constexpr wchar_t kEnglishHead[] = L"Copyright © ";
constexpr wchar_t kEnglishTail[] = L" Vexmor. All rights reserved.";

} // namespace

VersionNumbers ProgramVersion() {
    return {VEXMOR_VERSION_MAJOR, VEXMOR_VERSION_MINOR, VEXMOR_VERSION_REVISION};
}

std::wstring FormatVersionNumbers(const VersionNumbers& version) {
    return std::to_wstring(version.Major) + L"." + AsciiText::ZeroFilled(version.Minor, 2) + L"." +
           AsciiText::ZeroFilled(version.Revision, 4);
}

std::wstring csFormatVersion() {
    return FormatVersionNumbers(ProgramVersion());
}

std::wstring GetSuffix(bool LongForm) {
    return LongForm ? L", ver. " : L" ";
}

std::wstring csFormatAppTitle(bool LongForm) {
    return std::wstring(VEXMOR_TITLE_W) + GetSuffix(LongForm) + csFormatVersion();
}

std::wstring csGetUsageHeader(bool LongForm, const bool& Translate) {
    return csFormatAppTitle(LongForm) + L"\r\n" + TranslateCopyright(VEXMOR_COPYRIGHT_W, Translate);
}

std::wstring TranslateCopyright(const std::wstring& text, bool Translate) {
    if (!Translate) return text;
    const std::wstring head = kRussianHead;
    const std::wstring tail = kRussianTail;
    for (const wchar_t* years :
         {L"[0-9][0-9][0-9][0-9]", L"[0-9][0-9][0-9][0-9]-[0-9][0-9][0-9][0-9]"}) {
        if (MatchesPattern(text, head + years + tail)) {
            std::wstring range = text.substr(head.size(), text.size() - head.size() - tail.size());
            return kEnglishHead + range + kEnglishTail;
        }
    }
    return text;
}

} // namespace modFormatVersion
