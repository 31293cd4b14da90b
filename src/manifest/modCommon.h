// Text helpers of the manifest.
#pragma once

#include <string>

namespace modCommon {

// The text with "&", "<", ">" and the double quote replaced by their XML entities, in that
// order; the apostrophe stays.
std::wstring csEscapeHTML(const std::wstring& text);

} // namespace modCommon
