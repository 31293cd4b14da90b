#include "manifest/modCommon.h"

#include <iterator>

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

std::wstring Element(std::size_t Indent, const std::wstring& Name,
                     const std::vector<ManifestXml::Attribute>& Attributes, const wchar_t* End) {
    const std::wstring column(Indent + Name.size() + 2, L' ');
    std::wstring text = std::wstring(Indent, L' ') + L"<" + Name;
    for (std::size_t i = 0; i < Attributes.size(); ++i) {
        text += i == 0 ? L" " : L"\r\n" + column;
        text += Attributes[i].Name + L"=\"" + csEscapeHTML(Attributes[i].Value) + L"\"";
    }
    return text + End + L"\r\n";
}

namespace {

// OLEMISC, bit by bit from 0x1.
constexpr const wchar_t* kMiscStatusNames[] = {
    L"recomposeonresize",
    L"onlyiconic",
    L"insertnotreplace",
    L"static",
    L"cantlinkinside",
    L"canlinkbyole1",
    L"islinkobject",
    L"insideout",
    L"activatewhenvisible",
    L"renderingisdeviceindependent",
    L"invisibleatruntime",
    L"alwaysrun",
    L"actslikebutton",
    L"actslikelabel",
    L"nouiactivate",
    L"alignable",
    L"simpleframe",
    L"setclientsitefirst",
    L"imemode",
    L"ignoreactivatewhenvisible",
    L"wantstomenumerge",
    L"supportsmultilevelundo",
};

} // namespace

std::wstring MiscStatusNames(std::uint32_t Bits, std::uint32_t* UnknownBits) {
    std::wstring names;
    std::uint32_t unknown = Bits;
    for (std::size_t bit = 0; bit < std::size(kMiscStatusNames); ++bit) {
        const std::uint32_t mask = std::uint32_t{1} << bit;
        if (!(Bits & mask)) continue;
        if (!names.empty()) names += L',';
        names += kMiscStatusNames[bit];
        unknown &= ~mask;
    }
    if (UnknownBits) *UnknownBits = unknown;
    return names;
}

} // namespace modCommon
