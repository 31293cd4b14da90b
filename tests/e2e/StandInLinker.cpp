// The stand-in for the real linker (installed as LINK2.EXE beside the program under test).
// It records the argument text it was given, character for character, so a test sees exactly what
// the program passed on; prints one line on each output stream; and exits with a chosen code.
//   VEXMOR_STANDIN_RECORD    file for the argument text (UTF-8, no BOM; default
//                            LINK2.received.txt beside this program), overwritten
//   VEXMOR_STANDIN_ORDER     file that gets the line "link" appended (order of build steps)
//   VEXMOR_STANDIN_SLEEP_MS  wait this long first
//   VEXMOR_STANDIN_WORK      compute this many rounds before writing the output: processor work,
//                            not waiting, so that it competes for the processor as a link does
//   VEXMOR_STANDIN_EXIT      exit code, decimal or 0x-hex (default 0)
//   VEXMOR_STANDIN_OUTPUT    file copied to the /OUT: path (when there is one), as a real link
//                            would write it
// Given a response file (@file or @"file" as the whole argument text), it records that file's
// bytes too, in the record file's name followed by ".rsp", and takes /OUT: from its text.
#include "HelperCommon.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <cwctype>
#include <string>
#include <string_view>

namespace {

// Chosen so that a mistyped exit code cannot pass for any code a test asks for.
constexpr std::uint32_t BadSettingExitCode = 0x0BADC0DE;

volatile std::uint32_t workResult;

bool WriteFileText(const std::wstring& path, std::string_view bytes, bool append) {
    HANDLE file = CreateFileW(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = e2e::WriteAll(file, bytes);
    CloseHandle(file);
    return ok;
}

// WriteFile is unbuffered; flushing a pipe would instead wait until the reader has read it all.
void Print(DWORD stream, std::string_view text) {
    HANDLE handle = GetStdHandle(stream);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) e2e::WriteAll(handle, text);
}

// The name after the first /OUT: (any case): quoted, in a quoted switch, or up to a blank or tab.
std::wstring OutputName(std::wstring_view arguments) {
    std::wstring upper(arguments);
    for (auto& c : upper) c = static_cast<wchar_t>(towupper(c));
    std::size_t at = upper.find(L"/OUT:");
    if (at == std::wstring::npos) return {};
    std::wstring_view rest = arguments.substr(at + 5);
    if (at > 0 && arguments[at - 1] == L'"') return std::wstring(rest.substr(0, rest.find(L'"')));
    if (!rest.empty() && rest.front() == L'"') {
        rest.remove_prefix(1);
        return std::wstring(rest.substr(0, rest.find(L'"')));
    }
    return std::wstring(rest.substr(0, rest.find_first_of(L" \t")));
}

// The response file named by the whole argument text, if that is what it is.
std::wstring ResponseFileName(std::wstring_view arguments) {
    if (arguments.size() < 2 || arguments.front() != L'@') return {};
    arguments.remove_prefix(1);
    if (arguments.size() >= 2 && arguments.front() == L'"' && arguments.back() == L'"') {
        arguments = arguments.substr(1, arguments.size() - 2);
    }
    return std::wstring(arguments);
}

std::wstring FromAnsi(const std::string& bytes) {
    if (bytes.empty()) return {};
    int n =
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return text;
}

} // namespace

int main() {
    if (auto sleep = e2e::GetEnv(L"VEXMOR_STANDIN_SLEEP_MS")) {
        auto ms = e2e::ParseUInt32(*sleep);
        if (!ms) {
            Print(STD_ERROR_HANDLE, "stand-in linker: bad VEXMOR_STANDIN_SLEEP_MS\r\n");
            return static_cast<int>(BadSettingExitCode);
        }
        Sleep(*ms);
    }

    std::uint32_t exitCode = 0;
    if (auto text = e2e::GetEnv(L"VEXMOR_STANDIN_EXIT")) {
        auto code = e2e::ParseUInt32(*text);
        if (!code) {
            Print(STD_ERROR_HANDLE, "stand-in linker: bad VEXMOR_STANDIN_EXIT\r\n");
            return static_cast<int>(BadSettingExitCode);
        }
        exitCode = *code;
    }

    std::wstring record =
        e2e::GetEnv(L"VEXMOR_STANDIN_RECORD").value_or(e2e::ExeDir() + L"LINK2.received.txt");
    if (!WriteFileText(record, e2e::ToUtf8(e2e::ArgumentText(GetCommandLineW())), false)) {
        Print(STD_ERROR_HANDLE, "stand-in linker: cannot write the record\r\n");
        return static_cast<int>(BadSettingExitCode);
    }
    // What the arguments really are: the response file's text when given one.
    std::wstring arguments(e2e::ArgumentText(GetCommandLineW()));
    if (std::wstring response = ResponseFileName(arguments); !response.empty()) {
        auto bytes = e2e::ReadAllBytes(response);
        if (!bytes || !WriteFileText(record + L".rsp", *bytes, false)) {
            Print(STD_ERROR_HANDLE, "stand-in linker: cannot read or record the response file\r\n");
            return static_cast<int>(BadSettingExitCode);
        }
        arguments = FromAnsi(*bytes);
    }
    if (auto order = e2e::GetEnv(L"VEXMOR_STANDIN_ORDER")) {
        if (!WriteFileText(*order, "link\r\n", true)) {
            Print(STD_ERROR_HANDLE, "stand-in linker: cannot append to the order file\r\n");
            return static_cast<int>(BadSettingExitCode);
        }
    }

    if (auto text = e2e::GetEnv(L"VEXMOR_STANDIN_WORK")) {
        auto rounds = e2e::ParseUInt32(*text);
        if (!rounds) {
            Print(STD_ERROR_HANDLE, "stand-in linker: bad VEXMOR_STANDIN_WORK\r\n");
            return static_cast<int>(BadSettingExitCode);
        }
        // A chain of xorshift steps has no shortcut; storing the end keeps the compiler doing it.
        std::uint32_t state = 2463534242u;
        for (std::uint32_t i = 0; i < *rounds; ++i) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
        }
        workResult = state;
    }

    if (auto output = e2e::GetEnv(L"VEXMOR_STANDIN_OUTPUT")) {
        std::wstring target = OutputName(arguments);
        if (!target.empty() && !CopyFileW(output->c_str(), target.c_str(), FALSE)) {
            Print(STD_ERROR_HANDLE, "stand-in linker: cannot write the output file\r\n");
            return static_cast<int>(BadSettingExitCode);
        }
    }

    Print(STD_OUTPUT_HANDLE, "stand-in linker: stdout\r\n");
    Print(STD_ERROR_HANDLE, "stand-in linker: stderr\r\n");
    return static_cast<int>(exitCode);
}
