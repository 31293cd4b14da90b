// A program with known message boxes, to prove the dialog driver on it.
//   BoxProbe.exe [--caption <text>] <step> <argument> [<step> <argument>]...
// Steps, in order:
//   info|error|warning|question|none[-okcancel] <text>   a MessageBoxW with that icon and buttons
//   open <file>                                          ShellExecuteA "open" on the file
//   out <text> / err <text>                              one line on stdout / stderr
//   rewrite <file>                                       the file written over with its own bytes,
//                                                        opened with no sharing, as a packer does
//   absent <program>                                     no process of that file name runs
// Exit code: 10 + the number of boxes answered OK; 2 usage error, 3 a box could not be shown,
// 4 the shell could not open the file, 5 the file could not be rewritten, 6 the program runs.
#include "HelperCommon.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <string>
#include <string_view>

namespace {

void Print(DWORD stream, const std::wstring& text) {
    e2e::WriteAll(GetStdHandle(stream), e2e::ToUtf8(text) + "\r\n");
}

bool BoxFlags(std::wstring_view step, UINT& flags) {
    flags = MB_TASKMODAL | MB_SETFOREGROUND;
    constexpr std::wstring_view okCancel = L"-okcancel";
    if (step.size() > okCancel.size() && step.substr(step.size() - okCancel.size()) == okCancel) {
        flags |= MB_OKCANCEL;
        step.remove_suffix(okCancel.size());
    }
    if (step == L"info")
        flags |= MB_ICONINFORMATION;
    else if (step == L"error")
        flags |= MB_ICONERROR;
    else if (step == L"warning")
        flags |= MB_ICONWARNING;
    else if (step == L"question")
        flags |= MB_ICONQUESTION;
    else if (step != L"none")
        return false;
    return true;
}

std::string ToAnsi(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
    out.resize(out.empty() ? 0 : out.size() - 1);
    return out;
}

} // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr) return 2;
    std::wstring caption = L"BoxProbe";
    int okCount = 0;
    for (int i = 1; i < argc; i += 2) {
        if (i + 1 >= argc) {
            Print(STD_ERROR_HANDLE, L"BoxProbe: a step without its argument");
            return 2;
        }
        std::wstring_view step = argv[i];
        const wchar_t* argument = argv[i + 1];
        UINT flags = 0;
        if (step == L"--caption") {
            caption = argument;
        } else if (step == L"out") {
            Print(STD_OUTPUT_HANDLE, argument);
        } else if (step == L"err") {
            Print(STD_ERROR_HANDLE, argument);
        } else if (step == L"open") {
            // The ANSI form, as the program under test calls it.
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
            auto result = reinterpret_cast<INT_PTR>(ShellExecuteA(
                nullptr, "open", ToAnsi(argument).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
            if (result <= 32) {
                Print(STD_ERROR_HANDLE, L"BoxProbe: ShellExecuteA failed: " +
                                            std::to_wstring(static_cast<long long>(result)));
                return 4;
            }
        } else if (step == L"rewrite") {
            HANDLE file = CreateFileW(argument, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            std::string bytes(GetFileSize(file, nullptr), '\0');
            DWORD done = 0;
            const bool ok =
                file != INVALID_HANDLE_VALUE &&
                ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
                SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 &&
                WriteFile(file, bytes.data(), done, &done, nullptr) && done == bytes.size();
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
            if (!ok) return 5;
        } else if (step == L"absent") {
            HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
            PROCESSENTRY32W entry{};
            entry.dwSize = sizeof entry;
            for (BOOL ok = Process32FirstW(snapshot, &entry); ok;
                 ok = Process32NextW(snapshot, &entry))
                if (_wcsicmp(entry.szExeFile, argument) == 0) return 6;
            CloseHandle(snapshot);
        } else if (BoxFlags(step, flags)) {
            int answer = MessageBoxW(nullptr, argument, caption.c_str(), flags);
            if (answer <= 0) {
                Print(STD_ERROR_HANDLE, L"BoxProbe: MessageBoxW failed (no display?)");
                return 3;
            }
            if (answer == IDOK) ++okCount;
        } else {
            Print(STD_ERROR_HANDLE, L"BoxProbe: unknown step " + std::wstring(step));
            return 2;
        }
    }
    LocalFree(argv);
    return 10 + okCount;
}
