// DialogDriver.exe [--answer ok|cancel]... [--timeout ms] -- <program> [arguments...]
// DialogDriver.exe [--answer ok|cancel]... [--timeout ms] --command-file <file>
// Runs the program as the end-to-end tests do, answers its message boxes, prints what it saw
// (UTF-8) and exits with the program's exit code: 258 when it was killed on timeout, 2 on a
// usage error or when the program cannot be started.
// The program's command line is the text after "--" exactly as it stands in ours, or the content
// of a UTF-8 file. Started from a Unix shell, Wine quotes each argument again (/OUT:"a b" arrives
// as "/OUT:\"a b\""), so a script that needs an exact command line writes it to a file.
#include "DialogDriver.h"
#include "HelperCommon.h"

#include <windows.h>

#include <exception>
#include <optional>
#include <string>
#include <string_view>

namespace {

void Print(std::string_view text) {
    e2e::WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), text);
}

int Usage() {
    Print("usage: DialogDriver.exe [--answer ok|cancel]... [--timeout ms]\n"
          "           (-- <program> [arguments...] | --command-file <utf-8 file>)\n");
    return 2;
}

// The file's text without a byte order mark and without trailing line ends.
std::optional<std::wstring> ReadCommandFile(const std::wstring& path) {
    auto read = e2e::ReadAllBytes(path);
    if (!read) return std::nullopt;
    std::string bytes = std::move(*read);
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) bytes.erase(0, 3);
    while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
    return e2e::FromUtf8(bytes);
}

bool IsBlank(wchar_t c) {
    return c == L' ' || c == L'\t';
}

} // namespace

int main() {
    // The options are plain words (a command file's name may be quoted); the program's command
    // line after "--" is passed on exactly as it stands in ours, quotes and all.
    std::wstring_view rest = e2e::ArgumentText(GetCommandLineW());
    e2e::RunOptions options;
    std::wstring pending;
    for (;;) {
        while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
        if (rest.empty()) break;
        std::size_t end = 0;
        if (rest.front() == L'"') {
            end = rest.find(L'"', 1);
            if (end == std::wstring_view::npos) return Usage();
            ++end;
        } else {
            while (end < rest.size() && !IsBlank(rest[end])) ++end;
        }
        std::wstring word(rest.substr(0, end));
        if (word.size() >= 2 && word.front() == L'"') word = word.substr(1, word.size() - 2);
        rest.remove_prefix(end);
        if (pending == L"--answer") {
            if (word != L"ok" && word != L"cancel") return Usage();
            options.Answers.push_back(word);
        } else if (pending == L"--timeout") {
            auto ms = e2e::ParseUInt32(word);
            if (!ms) return Usage();
            options.TimeoutMs = *ms;
        } else if (pending == L"--command-file") {
            auto text = ReadCommandFile(word);
            if (!text || text->empty()) {
                Print("driver: cannot read the command file\n");
                return 2;
            }
            options.CommandLine = *text;
        } else if (word == L"--answer" || word == L"--timeout" || word == L"--command-file") {
            pending = word;
            continue;
        } else if (word == L"--" && options.CommandLine.empty()) {
            while (!rest.empty() && IsBlank(rest.front())) rest.remove_prefix(1);
            options.CommandLine = std::wstring(rest);
            rest = {};
        } else {
            return Usage();
        }
        pending.clear();
    }
    if (!pending.empty() || options.CommandLine.empty()) return Usage();

    try {
        e2e::RunResult result = e2e::Run(options);
        Print(e2e::Describe(result));
        return static_cast<int>(result.ExitCode);
    } catch (const std::exception& error) {
        Print(std::string("driver: ") + error.what() + "\n");
        return 2;
    }
}
