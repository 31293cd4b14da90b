// Text helpers of the manifest.
#pragma once

#include "manifest/ManifestXml.h"

#include <cstdint>
#include <cwctype>
#include <string>
#include <vector>

namespace modCommon {

// The text in upper case as the C library knows letters: identifiers and file names compared
// without regard to case.
inline std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// The text with "&", "<", ">" and the double quote replaced by their XML entities, in that
// order; the apostrophe stays.
std::wstring csEscapeHTML(const std::wstring& text);

// The text with every character that XML 1.0 does not allow in a document (the controls other
// than tab, LF and CR; U+FFFE and U+FFFF) replaced by U+FFFD. Lone surrogates are replaced when
// the text is encoded.
std::wstring XmlCharacters(const std::wstring& text);

// The text for one line of a comment: tab, LF and CR become a blank (the line ends where the
// document says), and "--", which would end the comment's validity, never stands in it.
std::wstring CommentLine(const std::wstring& text);

// One element's opening lines: the indent, "<" and the name, the first attribute on that line
// and every further one on a line of its own, under the first (so the column is the indent
// plus the name's length plus two); values escaped; then End and CR LF.
std::wstring Element(std::size_t Indent, const std::wstring& Name,
                     const std::vector<ManifestXml::Attribute>& Attributes,
                     const wchar_t* End = L" />");

// The platform's names of the OLEMISC bits that are set, in ascending bit order, joined by
// commas, as a comClass element's miscStatus attributes spell them. Bits without a name are
// left out and returned in UnknownBits.
std::wstring MiscStatusNames(std::uint32_t Bits, std::uint32_t* UnknownBits = nullptr);

} // namespace modCommon
