// Text helpers of the manifest.
#pragma once

#include <string>

namespace modCommon {

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

} // namespace modCommon
