#include "driver/CommandLine.h"

#include "common/AsciiText.h"
#include "config/CConfig.h"
#include "platform/AnsiFile.h"
#include "platform/MessageBox.h"
#include "process/modLauncher.h"
#include "support/AppError.h"
#include "support/QZVSP0100A.h"
#include "support/QZVSP0100B.h"

namespace CommandLine {
namespace {

constexpr std::uint32_t kNoUnicodeTranslation = 1113; // ERROR_NO_UNICODE_TRANSLATION

// The value as one quoted argument by the rules the C run-time splits command lines with: a
// quote inside is written \", and backslashes are doubled where they stand before a quote or
// before the closing one. So the linker receives exactly the value, whatever it holds.
std::wstring QuotedArgument(const std::wstring& value) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : value) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

// Whether the line holds a /FIXED or -FIXED switch of its own, with or without a value, as an
// argument by itself (quotes do not count: they only group).
bool HasFixedSwitch(const std::wstring& commandLine) {
    std::wstring argument;
    bool quoted = false;
    for (const wchar_t c : commandLine + L' ') {
        if (c == L'"') {
            quoted = !quoted;
        } else if (quoted || (c != L' ' && c != L'\t')) {
            argument += c;
        } else {
            // "/FIXED", "-fixed", "/Fixed:NO" and the like.
            const std::wstring name = AsciiText::Upper(argument.substr(0, 7));
            if (name.size() >= 6 && (name[0] == L'/' || name[0] == L'-') &&
                name.compare(1, 5, L"FIXED") == 0 && (name.size() == 6 || name[6] == L':'))
                return true;
            argument.clear();
        }
    }
    return false;
}

void ShowStartFailure(const std::wstring& linker, std::uint32_t error,
                      const std::wstring& description) {
    platform::ShowMessage(
        modLauncher::StartFailureText(
            linker, QZVSP0100A::GetErrorNumber(static_cast<std::int32_t>(error)), description),
        platform::Icon::Error);
}

} // namespace

std::size_t LinkerCommandLineLength(const std::wstring& linker, const std::wstring& arguments) {
    return linker.size() + 3 + arguments.size() + 1;
}

bool PutInResponseFile(const std::wstring& linker, std::wstring& arguments,
                       std::wstring& responseFile, std::uint32_t& error) {
    bool exact = false;
    std::string bytes;
    try {
        bytes = platform::ToAnsi(arguments, &exact);
    } catch (const AppError& failure) {
        error = failure.Number;
        ShowStartFailure(linker, error, failure.Description);
        return false;
    }
    if (!exact) {
        error = kNoUnicodeTranslation;
        ShowStartFailure(linker, error,
                         L"Командная строка компоновщика длиннее " +
                             std::to_wstring(kCommandLineLimit - 1) +
                             L" знаков, поэтому передаётся ему в файле ответов в кодовой "
                             L"странице ANSI, но в ней есть знаки, которых в этой кодовой "
                             L"странице нет.");
        return false;
    }
    if (!platform::WriteNewFile(QZVSP0100B::GetTempFolder(), L"Vexmor Link ", L".rsp", bytes,
                                responseFile, &error)) {
        ShowStartFailure(linker, error,
                         L"Не удалось записать файл ответов для длинной командной строки во "
                         L"временную папку. " +
                             QZVSP0100A::GetAPIErrorDescription(error));
        return false;
    }
    arguments = L"@\"" + responseFile + L"\"";
    return true;
}

std::wstring ReplaceSwitch(const std::wstring& commandLine, const std::wstring& search,
                           const std::wstring& replacement) {
    std::wstring text = L" " + commandLine;
    for (size_t at = text.find(search); at != std::wstring::npos;
         at = text.find(search, at + replacement.size())) {
        text.replace(at, search.size(), replacement);
    }
    if (!text.empty() && text[0] == L' ') text.erase(0, 1);
    return text;
}

std::wstring RewriteCommandLine(const std::wstring& commandLine, const CConfig& config,
                                const std::wstring& defFileName,
                                const std::wstring& configFileName) {
    std::wstring line = commandLine;
    if (config.SET_COFF()) line = ReplaceSwitch(line, L" /DEBUGTYPE:CV", L" /DEBUGTYPE:COFF");
    if (config.SET_CONSOLE()) {
        line = ReplaceSwitch(line, L" /SUBSYSTEM:WINDOWS", L" /SUBSYSTEM:CONSOLE");
    }
    if (config.SET_MAP()) line += L" /MAP";
    if (config.SET_MAP_EXPORTS()) line += L" /MAPINFO:EXPORTS";
    if (config.SET_MAP_FIXUPS()) line += L" /MAPINFO:FIXUPS";
    if (config.SET_MAP_LINES()) line += L" /MAPINFO:LINES";

    const std::wstring configFolder = QZVSP0100B::GetFilePath(configFileName);
    if (config.SET_DEF()) {
        // The definition file sits beside the configuration file: resolve its bare name there,
        // so that a relative output name does not put the folder in twice.
        const std::wstring defName = QZVSP0100B::GetFileName(defFileName, false);
        line += L" /DEF:" + QuotedArgument(QZVSP0100B::GetAbsoluteFileName(defName, configFolder));
    }
    const std::wstring comment = config.SET_COMMENT();
    if (!comment.empty()) line += L" /COMMENT:" + QuotedArgument(comment);
    const std::wstring stub = config.SET_STUB();
    if (!stub.empty()) {
        line += L" /STUB:" + QuotedArgument(QZVSP0100B::GetAbsoluteFileName(stub, configFolder));
    }
    // The linker leaves the relocations out of a program unless told otherwise, and without
    // them the loader cannot move it; a /FIXED of the project's own is the project's choice.
    if (config.SET_DYNAMICBASE() && !HasFixedSwitch(commandLine)) line += L" /FIXED:NO";
    return line;
}

} // namespace CommandLine
