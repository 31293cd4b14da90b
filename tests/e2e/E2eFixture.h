// Common ground of the end-to-end tests: a fresh work folder per test, the helper programs beside
// the test program, small file helpers, and a clear failure when the Wine session is missing.
#pragma once

#include "DialogDriver.h"
#include "HelperCommon.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace e2e {

inline bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

inline std::optional<std::string> ReadBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary);
    out << bytes;
}

// For files written by processes that run on their own (what the shell started, say): the
// file's bytes once it exists and holds the given text.
inline std::optional<std::string> WaitForFile(const std::wstring& path,
                                              std::chrono::milliseconds limit,
                                              std::string_view containing = {}) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        auto bytes = ReadBytes(path);
        if (bytes && bytes->find(containing) != std::string::npos) return bytes;
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// The id of a running process of that file name whose parent is the given one (any parent
// for 0), or 0.
inline DWORD FindChild(DWORD parent, const wchar_t* name) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    DWORD found = 0;
    for (BOOL ok = Process32FirstW(snapshot, &entry); ok && !found;
         ok = Process32NextW(snapshot, &entry)) {
        if ((parent == 0 || entry.th32ParentProcessID == parent) &&
            _wcsicmp(entry.szExeFile, name) == 0)
            found = entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    return found;
}

// Sets a variable of this process for one test and puts the old state back afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const wchar_t* name, const wchar_t* value) : name_(name), old_(GetEnv(name)) {
        SetEnvironmentVariableW(name, value);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;
    ~ScopedEnv() { SetEnvironmentVariableW(name_.c_str(), old_ ? old_->c_str() : nullptr); }

  private:
    std::wstring name_;
    std::optional<std::wstring> old_;
};

class E2eTest : public testing::Test {
  protected:
    // Long enough for a slow machine, short enough that a box nobody answers fails the test
    // well inside ctest's own limit.
    static constexpr std::uint32_t RunTimeoutMs = 20000;

    void SetUp() override {
        // Without a display every box fails at once, and the tests would only say "no box".
        if (RunningUnderWine() && !GetEnv(L"DISPLAY"))
            GTEST_FAIL() << "No X display. Start the session first: "
                            "eval \"$(scripts/wine-session.sh start)\"";
        testsDir_ = ExeDir();
        const auto* test = testing::UnitTest::GetInstance()->current_test_info();
        work_ = testsDir_ + L"e2e-work\\" + FromUtf8(test->test_suite_name()) + L"." +
                FromUtf8(test->name()) + L"\\";
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(work_), ignored);
        std::filesystem::create_directories(std::filesystem::path(work_));
    }

    // A helper program of the test build (LINK2.exe, BoxProbe.exe, DialogDriver.exe, ...).
    std::wstring Tool(const wchar_t* name) const { return testsDir_ + name; }
    std::wstring QuotedTool(const wchar_t* name) const { return QuoteArgument(Tool(name)); }

    RunOptions Options(std::wstring commandLine) const {
        RunOptions options;
        options.CommandLine = std::move(commandLine);
        options.TimeoutMs = RunTimeoutMs;
        return options;
    }

    std::wstring testsDir_; // with a trailing backslash
    std::wstring work_;     // fresh for each test, with a trailing backslash
};

} // namespace e2e
