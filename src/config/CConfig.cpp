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

// The lines that carry a value after their start; no start begins another one.
enum class Value { Comment, Stub, Ref, Com, ComTlb, Dpi };
struct ValueLine {
    const wchar_t* Start;
    Value Kind;
};
constexpr ValueLine kValueLines[] = {
    {L"COMMENT:", Value::Comment}, {L"STUB:", Value::Stub},     {L"REF:", Value::Ref},
    {L"COM:", Value::Com},         {L"COMTLB:", Value::ComTlb}, {L"DPI:", Value::Dpi},
};

} // namespace

void CConfig::SetDefaults() {
    *this = CConfig();
}

const std::vector<CConfig::Keyword>& CConfig::KeywordTable() {
    static const std::vector<Keyword> keywords = {
        {L"CONSOLE", &CConfig::console_, true, false},
        {L"COFF", &CConfig::coff_, true, false},
        {L"COMPRESS", &CConfig::compress_, true, false},
        {L"NOSIGN", &CConfig::sign_, false, false},
        {L"MANIFEST", &CConfig::manifest_, true, false},
        {L"NOMANIFEST", &CConfig::noManifest_, true, false},
        {L"EMBED", &CConfig::embed_, true, false},
        {L"ADMIN", &CConfig::admin_, true, false},
        {L"MAP", &CConfig::map_, true, false},
        {L"MAP_EXPORTS", &CConfig::mapExports_, true, false},
        {L"MAP-EXPORTS", &CConfig::mapExports_, true, true},
        {L"MAP_LINES", &CConfig::mapLines_, true, false},
        {L"MAP-LINES", &CConfig::mapLines_, true, true},
        {L"MAP_FIXUPS", &CConfig::mapFixups_, true, false},
        {L"MAP-FIXUPS", &CConfig::mapFixups_, true, true},
        {L"DEF", &CConfig::def_, true, false},
        {L"NOHIDPI", &CConfig::noHiDpi_, true, false},
        {L"ASINVOKER", &CConfig::asInvoker_, true, false},
        {L"HIGHESTAVAILABLE", &CConfig::highestAvailable_, true, false},
        {L"SUPPORTEDOS", &CConfig::supportedOs_, true, false},
        {L"GDISCALING", &CConfig::gdiScaling_, true, false},
        {L"LONGPATHS", &CConfig::longPaths_, true, false},
        {L"UTF8", &CConfig::utf8_, true, false},
        {L"LARGEADDRESSAWARE", &CConfig::largeAddressAware_, true, false},
        {L"NXCOMPAT", &CConfig::nxCompat_, true, false},
        {L"DYNAMICBASE", &CConfig::dynamicBase_, true, false},
        {L"TSAWARE", &CConfig::tsAware_, true, false},
    };
    return keywords;
}

std::vector<std::wstring> CConfig::Keywords() {
    std::vector<std::wstring> keywords;
    for (const Keyword& keyword : KeywordTable())
        if (!keyword.Alias) keywords.push_back(keyword.Text);
    for (const ValueLine& line : kValueLines) keywords.push_back(line.Start);
    return keywords;
}

bool CConfig::Init(const std::wstring& text) {
    SetDefaults();
    for (const std::wstring& line : SplitAtCrLf(text)) {
        const std::wstring trimmed = QZVSP0100A::TrimEx(line);
        const std::wstring upper = UpperCased(trimmed);
        if (upper.empty()) continue;

        bool known = false;
        for (const Keyword& keyword : KeywordTable()) {
            if (upper == keyword.Text) {
                this->*keyword.Value = keyword.Setting;
                known = true;
                break;
            }
        }
        if (known || upper[0] == L'#' || StartsWith(upper, L"X-")) continue;

        const ValueLine* valueLine = nullptr;
        for (const ValueLine& candidate : kValueLines)
            if (StartsWith(upper, candidate.Start)) valueLine = &candidate;
        if (!valueLine) {
            WarnUnknown(upper);
            continue;
        }
        const std::wstring value =
            TrimValue(trimmed.substr(std::char_traits<wchar_t>::length(valueLine->Start)));
        switch (valueLine->Kind) {
        case Value::Comment:
            comment_ = value;
            break;
        case Value::Stub:
            stub_ = value;
            break;
        case Value::Ref:
            refs_.push_back(value);
            break;
        case Value::Com:
        case Value::ComTlb:
            components_.push_back({value, valueLine->Kind == Value::Com});
            break;
        case Value::Dpi:
            if (!DpiValue(UpperCased(value), dpi_)) WarnUnknown(upper);
            break;
        }
    }
    return true;
}
