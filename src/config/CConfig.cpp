#include "config/CConfig.h"

#include "platform/MessageBox.h"
#include "support/QZVSP0100A.h"

namespace {

// Upper case that keeps the length, so a position in the upper-cased line is the same position
// in the line: ASCII, Latin-1 letters and Cyrillic.
std::wstring UpperCased(const std::wstring& text) {
    std::wstring upper = text;
    for (wchar_t& c : upper) {
        if ((c >= L'a' && c <= L'z') || (c >= 0x00E0 && c <= 0x00FE && c != 0x00F7) ||
            (c >= 0x0430 && c <= 0x044F)) {
            c = static_cast<wchar_t>(c - 32);
        } else if (c >= 0x0450 && c <= 0x045F) {
            c = static_cast<wchar_t>(c - 0x50);
        }
    }
    return upper;
}

std::vector<std::wstring> SplitAtCrLf(const std::wstring& text) {
    std::vector<std::wstring> lines;
    if (text.empty()) return lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
}

std::wstring TrimValue(const std::wstring& value) {
    return QZVSP0100A::TrimEx2(value, true, true, true, true, true, false, false, false, false,
                               false);
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
}

void WarnUnknown(const std::wstring& upperLine) {
    platform::ShowMessage(L"В конфиге обнаружена неизвестная опция!\r\n\r\n" + upperLine,
                          platform::Icon::Warning);
}

// The last DPI: line counts; a value it does not know leaves the mode as it was.
bool DpiValue(const std::wstring& upperValue, DpiMode& mode) {
    if (upperValue == L"SYSTEM") {
        mode = DpiMode::System;
    } else if (upperValue == L"PERMONITORV2") {
        mode = DpiMode::PerMonitorV2;
    } else {
        return false;
    }
    return true;
}

} // namespace

void CConfig::SetDefaults() {
    *this = CConfig();
}

bool CConfig::Init(const std::wstring& text) {
    SetDefaults();
    struct Keyword {
        const wchar_t* Text;
        bool CConfig::*Value;
        bool Setting;
    };
    static const Keyword keywords[] = {
        {L"CONSOLE", &CConfig::console_, true},
        {L"COFF", &CConfig::coff_, true},
        {L"COMPRESS", &CConfig::compress_, true},
        {L"NOSIGN", &CConfig::sign_, false},
        {L"MANIFEST", &CConfig::manifest_, true},
        {L"NOMANIFEST", &CConfig::noManifest_, true},
        {L"EMBED", &CConfig::embed_, true},
        {L"ADMIN", &CConfig::admin_, true},
        {L"MAP", &CConfig::map_, true},
        {L"MAP_EXPORTS", &CConfig::mapExports_, true},
        {L"MAP-EXPORTS", &CConfig::mapExports_, true},
        {L"MAP_LINES", &CConfig::mapLines_, true},
        {L"MAP-LINES", &CConfig::mapLines_, true},
        {L"MAP_FIXUPS", &CConfig::mapFixups_, true},
        {L"MAP-FIXUPS", &CConfig::mapFixups_, true},
        {L"DEF", &CConfig::def_, true},
        {L"NOHIDPI", &CConfig::noHiDpi_, true},
        {L"ASINVOKER", &CConfig::asInvoker_, true},
        {L"HIGHESTAVAILABLE", &CConfig::highestAvailable_, true},
        {L"SUPPORTEDOS", &CConfig::supportedOs_, true},
        {L"GDISCALING", &CConfig::gdiScaling_, true},
        {L"LONGPATHS", &CConfig::longPaths_, true},
        {L"UTF8", &CConfig::utf8_, true},
    };

    for (const std::wstring& line : SplitAtCrLf(text)) {
        const std::wstring trimmed = QZVSP0100A::TrimEx(line);
        const std::wstring upper = UpperCased(trimmed);
        if (upper.empty()) continue;

        bool known = false;
        for (const Keyword& keyword : keywords) {
            if (upper == keyword.Text) {
                this->*keyword.Value = keyword.Setting;
                known = true;
                break;
            }
        }
        if (known || upper[0] == L'#' || StartsWith(upper, L"X-")) continue;

        if (StartsWith(upper, L"COMMENT:")) {
            comment_ = TrimValue(trimmed.substr(8));
        } else if (StartsWith(upper, L"STUB:")) {
            stub_ = TrimValue(trimmed.substr(5));
        } else if (StartsWith(upper, L"REF:")) {
            refs_.push_back(TrimValue(trimmed.substr(4)));
        } else if (StartsWith(upper, L"COM:")) {
            components_.push_back({TrimValue(trimmed.substr(4)), true});
        } else if (StartsWith(upper, L"COMTLB:")) {
            components_.push_back({TrimValue(trimmed.substr(7)), false});
        } else if (StartsWith(upper, L"DPI:")) {
            if (!DpiValue(TrimValue(upper.substr(4)), dpi_)) WarnUnknown(upper);
        } else {
            WarnUnknown(upper);
        }
    }
    return true;
}
