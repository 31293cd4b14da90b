#include "config/modConfig.h"

#include "context/BuildContext.h"
#include "platform/AnsiFile.h"
#include "platform/MessageBox.h"
#include "support/AppError.h"

namespace modConfig {
namespace {

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; }

// Position of an ASCII needle (given in upper case) in the text, letters compared without
// regard to case.
size_t FindNoCase(const std::wstring& text, const std::wstring& upperNeedle, size_t from = 0) {
    if (upperNeedle.size() > text.size()) return std::wstring::npos;
    for (size_t i = from; i + upperNeedle.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < upperNeedle.size() && AsciiUpper(text[i + k]) == upperNeedle[k]) ++k;
        if (k == upperNeedle.size()) return i;
    }
    return std::wstring::npos;
}

// Blanks and tabs both separate switches; neither can be part of a file name.
bool IsSeparator(wchar_t c) { return c == L' ' || c == L'\t'; }

} // namespace

std::wstring ExtractEXEFileName(const std::wstring& commandLine) {
    static const std::wstring out = L"/OUT:";
    size_t at = FindNoCase(commandLine, out);
    if (at == std::wstring::npos) return std::wstring();
    std::wstring rest = commandLine.substr(at + out.size());
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
    static const std::wstring dll = L"/DLL";
    for (size_t at = FindNoCase(commandLine, dll); at != std::wstring::npos;
         at = FindNoCase(commandLine, dll, at + 1)) {
        size_t after = at + dll.size();
        if (at > 0 && IsSeparator(commandLine[at - 1]) && after < commandLine.size() &&
            IsSeparator(commandLine[after])) {
            return true;
        }
    }
    return false;
}

std::shared_ptr<const CConfig> ReadConfigFile(const BuildContext& context) {
    std::string bytes;
    if (!platform::ReadWholeFile(context.ConfigFileName, bytes)) {
        platform::ShowMessage(context.ConfigFileName + L"\r\n\r\nНе удаётся прочитать файл настроек!",
                              platform::Icon::Error);
        return nullptr;
    }
    auto config = std::make_shared<CConfig>();
    try {
        if (!config->Init(platform::FromAnsi(bytes))) return nullptr;
    } catch (const AppError&) {
        // A support operation failed while parsing: no configuration, and nothing more to say.
        return nullptr;
    }
    return config;
}

} // namespace modConfig
