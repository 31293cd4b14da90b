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

} // namespace modCommon
