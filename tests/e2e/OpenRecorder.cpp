// Stands in for the program the shell opens a .txt file with (the Wine session registers it for
// "open"), so a test can see which file the program under test asked the shell to open.
// Appends its argument text as one UTF-8 line to VEXMOR_OPEN_RECORD (default OpenRecorder.txt
// beside this program). A windows program, so that opening a file never pops up a console.
#include "HelperCommon.h"

#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::wstring record =
        e2e::GetEnv(L"VEXMOR_OPEN_RECORD").value_or(e2e::ExeDir() + L"OpenRecorder.txt");
    std::string line = e2e::ToUtf8(e2e::ArgumentText(GetCommandLineW())) + "\r\n";
    HANDLE file = CreateFileW(record.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    bool ok = e2e::WriteAll(file, line);
    CloseHandle(file);
    return ok ? 0 : 1;
}
