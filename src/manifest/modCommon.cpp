#include "manifest/modCommon.h"

namespace modCommon {

std::wstring csEscapeHTML(const std::wstring& text) {
    // One pass gives the same result as the four replacements in turn: "&" goes first there,
    // so the entities made by the later ones are never escaped again.
    std::wstring escaped;
    escaped.reserve(text.size());
    for (wchar_t c : text) {
        switch (c) {
        case L'&':
            escaped += L"&amp;";
            break;
        case L'<':
            escaped += L"&lt;";
            break;
        case L'>':
            escaped += L"&gt;";
            break;
        case L'"':
            escaped += L"&quot;";
            break;
        default:
            escaped += c;
            break;
        }
    }
    return escaped;
}

namespace {

bool AllowedInXml(wchar_t c) {
    if (c < 0x20) return c == L'\t' || c == L'\n' || c == L'\r';
    return c != 0xFFFE && c != 0xFFFF;
}

} // namespace

std::wstring XmlCharacters(const std::wstring& text) {
    std::wstring safe = text;
    for (wchar_t& c : safe) {
        if (!AllowedInXml(c)) c = 0xFFFD;
    }
    return safe;
}

std::wstring CommentLine(const std::wstring& text) {
    std::wstring line;
    line.reserve(text.size());
    for (wchar_t c : text) {
        if (c == L'\t' || c == L'\n' || c == L'\r') c = L' ';
        if (c == L'-' && !line.empty() && line.back() == L'-') line += L' ';
        line += c;
    }
    return line;
}

} // namespace modCommon
