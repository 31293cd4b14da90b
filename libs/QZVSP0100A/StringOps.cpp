#include "QZVSP0100A/StringOps.h"

#include "common/AsciiText.h"

namespace StringOps {
namespace {

bool IsSelected(wchar_t c, const TrimSelection& s) {
    switch (static_cast<std::uint32_t>(c)) {
    case 0x20:
        return s.blank;
    case 0x09:
        return s.tab;
    case 0x0D:
        return s.cr;
    case 0x0A:
        return s.lf;
    case 0x00:
        return s.nul;
    case 0x0B:
        return s.vt;
    case 0x0C:
        return s.ff;
    case 0xA0:
        return s.nbsp;
    case 0x3000:
        return s.ideographic;
    case 0xFEFF:
        return s.bom;
    default:
        return false;
    }
}

constexpr TrimSelection kWhiteSpace{true, true, true, true, true, true, true, false, false, false};

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

constexpr std::uint32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(std::uint32_t u) {
    return u >= 0xD800 && u <= 0xDBFF;
}
bool IsLowSurrogate(std::uint32_t u) {
    return u >= 0xDC00 && u <= 0xDFFF;
}

} // namespace

std::wstring TrimEx2(std::wstring_view text, const TrimSelection& selection) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsSelected(text[begin], selection)) ++begin;
    while (end > begin && IsSelected(text[end - 1], selection)) --end;
    return std::wstring(text.substr(begin, end - begin));
}

std::wstring TrimEx(std::wstring_view text) {
    return TrimEx2(text, kWhiteSpace);
}

std::wstring TrimCRLF(std::wstring_view text) {
    size_t end = text.size();
    while (end > 0 && (text[end - 1] == L'\r' || text[end - 1] == L'\n')) --end;
    return std::wstring(text.substr(0, end));
}

std::string UnicodeToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (size_t i = 0; i < text.size(); ++i) {
        std::uint32_t unit = static_cast<std::uint32_t>(text[i]);
        if (IsHighSurrogate(unit)) {
            std::uint32_t next = i + 1 < text.size() ? static_cast<std::uint32_t>(text[i + 1]) : 0;
            if (IsLowSurrogate(next)) {
                AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
                ++i;
            } else {
                AppendUtf8(out, kReplacement);
            }
        } else if (IsLowSurrogate(unit) || unit > 0x10FFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

std::wstring FormatVersion(std::uint32_t major, std::uint32_t minor, std::uint32_t revision) {
    return std::to_wstring(major) + L'.' + AsciiText::ZeroFilled(minor, 2) + L'.' +
           AsciiText::ZeroFilled(revision, 4);
}

std::wstring GetErrorNumber(std::int32_t number) {
    if (number >= 0 && number <= 0xFFFF) return std::to_wstring(number);
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::uint32_t value = static_cast<std::uint32_t>(number);
    std::wstring text = L"0x00000000";
    for (size_t i = text.size(); i > 2; --i) {
        text[i - 1] = kDigits[value & 0xF];
        value >>= 4;
    }
    return text;
}

std::wstring UnknownErrorDescription(std::uint32_t code) {
    return L"Неизвестная ошибка " + GetErrorNumber(static_cast<std::int32_t>(code)) + L".";
}

} // namespace StringOps
