#include "process_test_util.h"

#include "platform/AnsiFile.h"

#include <windows.h>

#include <fstream>
#include <stdexcept>

namespace process_test {

std::wstring QuotedChild() {
    return L"\"" + (TestFolders::ProgramFolder() / L"process_test_child.exe").wstring() + L"\"";
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadBytes(const std::wstring& path) {
    std::string bytes;
    if (!platform::ReadWholeFile(path, bytes)) throw std::runtime_error("cannot read a test file");
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    if (!(out << bytes)) throw std::runtime_error("cannot write a test file");
}

std::vector<std::wstring> ListFolder(const std::wstring& folder) {
    std::vector<std::wstring> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().wstring());
    return names;
}

std::wstring Widen(const std::string& text) {
    if (text.empty()) return std::wstring();
    int size =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

struct BoxAnswerer::State {
    volatile LONG stop = 0;
    std::vector<std::wstring> texts;
    std::vector<HWND> answered;
    HANDLE thread = nullptr;
};

namespace {

BOOL CALLBACK AnswerBox(HWND window, LPARAM param) {
    auto* state = reinterpret_cast<BoxAnswerer::State*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    wchar_t cls[16] = {};
    GetClassNameW(window, cls, 16);
    if (pid != GetCurrentProcessId() || std::wstring(cls) != L"#32770" ||
        !IsWindowVisible(window)) {
        return TRUE;
    }
    // A box answered a moment ago may not have closed yet.
    for (HWND seen : state->answered) {
        if (seen == window) return TRUE;
    }
    state->answered.push_back(window);
    wchar_t text[4096] = {};
    // The box's thread sits in its modal loop, so a sent WM_GETTEXT is answered.
    GetDlgItemTextW(window, 0xFFFF, text, 4096);
    state->texts.push_back(text);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    return TRUE;
}

DWORD WINAPI AnswerLoop(LPVOID param) {
    auto* state = static_cast<BoxAnswerer::State*>(param);
    while (InterlockedCompareExchange(&state->stop, 0, 0) == 0) {
        EnumWindows(AnswerBox, reinterpret_cast<LPARAM>(state));
        Sleep(50);
    }
    return 0;
}

} // namespace

BoxAnswerer::BoxAnswerer() : state_(new State) {
    state_->thread = CreateThread(nullptr, 0, AnswerLoop, state_, 0, nullptr);
}

BoxAnswerer::~BoxAnswerer() {
    Stop();
    delete state_;
}

std::vector<std::wstring> BoxAnswerer::Stop() {
    if (state_->thread != nullptr) {
        InterlockedExchange(&state_->stop, 1);
        WaitForSingleObject(state_->thread, INFINITE);
        CloseHandle(state_->thread);
        state_->thread = nullptr;
    }
    return state_->texts;
}

} // namespace process_test
