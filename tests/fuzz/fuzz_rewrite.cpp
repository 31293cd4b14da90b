// The command line for the real linker: switches replaced and appended by the project's options.
// Input: the command line on the first line, the option file's bytes after it. Option lines
// "X-SEARCH:" and "X-REPLACE:" (which the options ignore) also drive ReplaceSwitch directly.
#include "FuzzCommon.h"

#include "Fakes.h"
#include "config/CConfig.h"
#include "config/modConfig.h"
#include "context/BuildContext.h"
#include "driver/CommandLine.h"
#include "support/AppError.h"
#include "support/QZVSP0100B.h"

namespace {

// Every occurrence, left to right, in the line behind one extra blank (so that a switch at the
// very start matches), and that blank taken off again.
std::wstring ReplacedEverywhere(const std::wstring& line, const std::wstring& search,
                                const std::wstring& replacement) {
    const std::wstring text = L" " + line;
    std::wstring out;
    std::size_t from = 0;
    for (std::size_t at = text.find(search); at != std::wstring::npos;
         at = text.find(search, from)) {
        out.append(text, from, at - from);
        out += replacement;
        from = at + search.size();
    }
    out.append(text, from);
    if (!out.empty() && out[0] == L' ') out.erase(0, 1);
    return out;
}

// The arguments of a command line as the C run-time splits it: blanks and tabs separate outside
// quotes; 2n backslashes before a quote give n and the quote opens or closes, 2n+1 give n and a
// literal quote; other backslashes stand for themselves. A doubled quote inside quotes is read
// differently by different run-times, so it must not occur.
std::vector<std::wstring> SplitArguments(std::wstring_view text) {
    std::vector<std::wstring> arguments;
    std::size_t i = 0;
    for (;;) {
        while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
        if (i == text.size()) return arguments;
        std::wstring argument;
        bool quoted = false;
        while (i < text.size() && (quoted || (text[i] != L' ' && text[i] != L'\t'))) {
            std::size_t backslashes = 0;
            while (i < text.size() && text[i] == L'\\') ++backslashes, ++i;
            if (i < text.size() && text[i] == L'"') {
                argument.append(backslashes / 2, L'\\');
                if (backslashes % 2 == 1) {
                    argument += L'"';
                } else {
                    FUZZ_CHECK(!(quoted && i + 1 < text.size() && text[i + 1] == L'"'));
                    quoted = !quoted;
                }
                ++i;
            } else {
                argument.append(backslashes, L'\\');
                if (i < text.size() && (quoted || (text[i] != L' ' && text[i] != L'\t'))) {
                    argument += text[i++];
                }
            }
        }
        // An argument never ends inside its quotes.
        FUZZ_CHECK(!quoted);
        arguments.push_back(argument);
    }
}

// The value of an option line "NAME:value" of the text, if there is one.
bool OptionValue(const std::wstring& text, const std::wstring& name, std::wstring& value) {
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        if (text.compare(start, name.size(), name) == 0) {
            value = text.substr(start + name.size(), end - start - name.size());
            return true;
        }
        start = end + 2;
    }
    return false;
}

void CheckReplaceSwitch(const std::wstring& line, const std::wstring& options) {
    std::wstring search;
    if (!OptionValue(options, L"X-SEARCH:", search)) {
        const std::size_t blank = line.find_last_of(L' ');
        search = blank == std::wstring::npos ? L" /X" : line.substr(blank);
    }
    if (search.empty() || search[0] != L' ') search.insert(0, 1, L' ');
    std::wstring replacement;
    // By default a replacement that holds the search twice: the scan must step past it.
    if (!OptionValue(options, L"X-REPLACE:", replacement)) replacement = search + search;
    const std::wstring replaced = CommandLine::ReplaceSwitch(line, search, replacement);
    FUZZ_CHECK(replaced == ReplacedEverywhere(line, search, replacement));
    if ((L" " + line).find(search) == std::wstring::npos) FUZZ_CHECK(replaced == line);
}

void CheckRewrite(const std::wstring& line, const CConfig& config, const BuildContext& context) {
    std::wstring rewritten;
    try {
        rewritten = CommandLine::RewriteCommandLine(line, config, context.DefFileName,
                                                    context.ConfigFileName);
    } catch (const AppError&) {
        return; // a failing support operation: the driver reports it
    }

    // The line itself, with only the two replacements the options ask for...
    std::wstring head = line;
    if (config.SET_COFF()) head = ReplacedEverywhere(head, L" /DEBUGTYPE:CV", L" /DEBUGTYPE:COFF");
    if (config.SET_CONSOLE()) {
        head = ReplacedEverywhere(head, L" /SUBSYSTEM:WINDOWS", L" /SUBSYSTEM:CONSOLE");
    }
    FUZZ_CHECK(rewritten.starts_with(head));

    // ...then the appended switches in their fixed order, and nothing else. The linker must
    // receive each value exactly, by the C run-time's rules for splitting a command line.
    std::vector<std::wstring> expected;
    if (config.SET_MAP()) expected.push_back(L"/MAP");
    if (config.SET_MAP_EXPORTS()) expected.push_back(L"/MAPINFO:EXPORTS");
    if (config.SET_MAP_FIXUPS()) expected.push_back(L"/MAPINFO:FIXUPS");
    if (config.SET_MAP_LINES()) expected.push_back(L"/MAPINFO:LINES");
    if (config.SET_DEF()) expected.push_back(L"/DEF:");
    const std::wstring comment = config.SET_COMMENT();
    if (!comment.empty()) expected.push_back(L"/COMMENT:" + comment);
    if (!config.SET_STUB().empty()) expected.push_back(L"/STUB:");

    const std::wstring folder = QZVSP0100B::GetFilePath(context.ConfigFileName);
    const bool absoluteFolder = (folder.size() >= 3 && fuzz::AsciiUpper(folder[0]) >= L'A' &&
                                 fuzz::AsciiUpper(folder[0]) <= L'Z' && folder[1] == L':' &&
                                 (folder[2] == L'\\' || folder[2] == L'/')) ||
                                folder.starts_with(L"\\\\");
    const std::wstring_view tail = std::wstring_view(rewritten).substr(head.size());
    FUZZ_CHECK(tail.empty() || tail[0] == L' ');
    const std::vector<std::wstring> arguments = SplitArguments(tail);
    FUZZ_CHECK(arguments.size() == expected.size());
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (expected[i] == L"/DEF:" || expected[i] == L"/STUB:") {
            // A file name resolved by the support library; against an absolute folder never
            // empty (natively a relative folder is not made absolute first, and may fold away).
            FUZZ_CHECK(arguments[i].starts_with(expected[i]));
            if (absoluteFolder) FUZZ_CHECK(arguments[i].size() > expected[i].size());
        } else {
            FUZZ_CHECK(arguments[i] == expected[i]);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fakes::Reset();
    std::string_view bytes = fuzz::Bytes(data, size);
    const std::size_t end = bytes.find('\n');
    std::string_view lineBytes = bytes.substr(0, end);
    if (!lineBytes.empty() && lineBytes.back() == '\r') lineBytes.remove_suffix(1);
    const std::string optionBytes(end == std::string_view::npos ? std::string_view()
                                                                : bytes.substr(end + 1));
    const std::wstring line = fuzz::Utf8(lineBytes);
    const std::wstring options = modConfig::DecodeConfigText(optionBytes);

    BuildContext context;
    context.CommandLine = line;
    context.ExeFileName = modConfig::ExtractEXEFileName(line);
    if (context.ExeFileName.empty()) context.ExeFileName = L"C:\\Work\\Tool.exe";
    DeriveFileNames(context);

    CConfig config;
    try {
        config.Init(options);
    } catch (const AppError&) {
        return 0;
    }
    CheckRewrite(line, config, context);
    CheckReplaceSwitch(line, options);
    return 0;
}
