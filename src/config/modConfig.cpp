#include "config/modConfig.h"

#include "common/AsciiText.h"
#include "context/BuildContext.h"
#include "platform/AnsiFile.h"
#include "platform/MessageBox.h"
#include "support/AppError.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace modConfig {
namespace {

// Position of an ASCII needle (given in upper case) in the text, letters compared without
// regard to case.
size_t FindNoCase(const std::wstring& text, const std::wstring& upperNeedle) {
    if (upperNeedle.size() > text.size()) return std::wstring::npos;
    for (size_t i = 0; i + upperNeedle.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < upperNeedle.size() && AsciiText::Upper(text[i + k]) == upperNeedle[k]) ++k;
        if (k == upperNeedle.size()) return i;
    }
    return std::wstring::npos;
}

// Blanks and tabs both separate switches; neither can be part of a file name.
bool IsSeparator(wchar_t c) {
    return c == L' ' || c == L'\t';
}

} // namespace

std::wstring ExtractEXEFileName(const std::wstring& commandLine) {
    static const std::wstring out = L"/OUT:";
    size_t at = FindNoCase(commandLine, out);
    if (at == std::wstring::npos) return std::wstring();
    std::wstring rest = commandLine.substr(at + out.size());
    // Build tools quote the whole switch when it holds blanks ("/OUT:C:\My Project\App.exe"):
    // the name then runs to that argument's closing quote.
    if (at > 0 && commandLine[at - 1] == L'"') {
        size_t close = rest.find(L'"');
        return close == std::wstring::npos ? std::wstring() : rest.substr(0, close);
    }
    if (rest.empty()) return std::wstring();
    if (rest[0] == L'"') {
        size_t close = rest.find(L'"', 1);
        return close == std::wstring::npos ? std::wstring() : rest.substr(1, close - 1);
    }
    size_t end = 0;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    return rest.substr(0, end);
}

bool ExtractIsDLL(const std::wstring& commandLine) {
    // Each part between blanks and tabs is one argument; build tools may also wrap it in quotes.
    // A lone quote does not count: the argument then goes on past "/DLL" or was never closed.
    for (size_t start = 0; start < commandLine.size();) {
        size_t end = start;
        while (end < commandLine.size() && !IsSeparator(commandLine[end])) ++end;
        std::wstring_view argument(commandLine.data() + start, end - start);
        if (argument.size() == 6 && argument.front() == L'"' && argument.back() == L'"') {
            argument = argument.substr(1, 4);
        }
        if (AsciiText::Upper(argument) == L"/DLL") return true;
        start = end + 1;
    }
    return false;
}

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

void AppendCodePoint(std::wstring& text, std::uint32_t code) {
    if (code >= 0x10000 && sizeof(wchar_t) == 2) {
        code -= 0x10000;
        text += static_cast<wchar_t>(0xD800 + (code >> 10));
        text += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
    } else {
        text += static_cast<wchar_t>(code);
    }
}

std::wstring FromUtf8(std::string_view bytes) {
    std::wstring text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        size_t length = lead < 0x80                    ? 1
                        : lead >= 0xC2 && lead <= 0xDF ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 0;
        std::uint32_t code = length == 1   ? lead
                             : length == 2 ? lead & 0x1Fu
                             : length == 3 ? lead & 0x0Fu
                                           : lead & 0x07u;
        size_t taken = 1;
        while (length > 1 && taken < length && i + taken < bytes.size() &&
               (static_cast<unsigned char>(bytes[i + taken]) & 0xC0) == 0x80) {
            code = (code << 6) | (static_cast<unsigned char>(bytes[i + taken]) & 0x3Fu);
            ++taken;
        }
        // Overlong forms, surrogates and values past U+10FFFF are no characters.
        const bool valid = length != 0 && taken == length &&
                           !(length == 3 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) &&
                           !(length == 4 && (code < 0x10000 || code > 0x10FFFF));
        if (valid) {
            AppendCodePoint(text, code);
        } else {
            text += kReplacement;
        }
        i += taken;
    }
    return text;
}

std::wstring FromUtf16(std::string_view bytes, bool bigEndian) {
    std::wstring text;
    text.reserve(bytes.size() / 2);
    std::vector<std::uint16_t> units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(
            static_cast<std::uint16_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
    }
    for (size_t i = 0; i < units.size(); ++i) {
        const std::uint16_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            AppendCodePoint(text, 0x10000 + ((unit - 0xD800u) << 10) + (units[i + 1] - 0xDC00u));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            text += kReplacement;
        } else {
            text += static_cast<wchar_t>(unit);
        }
    }
    if (bytes.size() % 2 != 0) text += kReplacement; // half a character at the end
    return text;
}

} // namespace

std::wstring DecodeConfigText(const std::string& bytes) {
    const std::string_view view(bytes);
    if (view.starts_with("\xEF\xBB\xBF")) return FromUtf8(view.substr(3));
    if (view.starts_with("\xFF\xFE")) return FromUtf16(view.substr(2), false);
    if (view.starts_with("\xFE\xFF")) return FromUtf16(view.substr(2), true);
    return platform::FromAnsi(bytes);
}

std::shared_ptr<const CConfig> ReadConfigFile(const BuildContext& context) {
    std::string bytes;
    if (!platform::ReadWholeFile(context.ConfigFileName, bytes)) {
        platform::ShowMessage(context.ConfigFileName +
                                  L"\r\n\r\nНе удаётся прочитать файл настроек!",
                              platform::Icon::Error);
        return nullptr;
    }
    auto config = std::make_shared<CConfig>();
    try {
        if (!config->Init(DecodeConfigText(bytes))) return nullptr;
    } catch (const AppError&) {
        // A support operation failed while parsing: no configuration, and nothing more to say.
        return nullptr;
    }
    return config;
}

} // namespace modConfig
