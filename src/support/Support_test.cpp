// The wrappers as the program uses them: on Windows through the two DLLs, natively through the
// portable logic and its stand-ins.
#include "support/AppError.h"
#include "support/QZVSP0100A.h"
#include "support/QZVSP0100B.h"

#include "TestFolders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

// A folder of its own with one file in it, removed afterwards.
class TempTree : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = TestFolders::Fresh();
        fs::create_directories(root_ / "sub.dir");
        std::ofstream(root_ / "file.txt") << "x";
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    std::wstring Name(const char* part) const { return (root_ / part).wstring(); }

    fs::path root_;
};

bool EndsWithSeparator(const std::wstring& text) {
    return !text.empty() && (text.back() == L'\\' || text.back() == L'/');
}

} // namespace

TEST_F(TempTree, IsFileExistOnlyForFiles) {
    EXPECT_TRUE(QZVSP0100B::IsFileExist(Name("file.txt")));
    EXPECT_FALSE(QZVSP0100B::IsFileExist(Name("sub.dir")));
    EXPECT_FALSE(QZVSP0100B::IsFileExist(Name("missing.txt")));
    // A path through a missing folder is an answer, not a failure.
    EXPECT_FALSE(QZVSP0100B::IsFileExist(Name("missing.dir/file.txt")));
    EXPECT_FALSE(QZVSP0100B::IsFileExist(L""));
}

TEST(Host, AnswersAboutThePlatform) {
    EXPECT_TRUE(QZVSP0100B::IsHostWinNT());
    EXPECT_FALSE(QZVSP0100B::IsHostWin9x());
    EXPECT_TRUE(QZVSP0100B::RegisterAppPath());
    EXPECT_TRUE(EndsWithSeparator(QZVSP0100B::GetTempFolder()));
}

TEST(Host, ErrorDescriptionsHaveNoLineBreakAtTheEnd) {
    for (std::uint32_t code : {2u, 5u, 0x12345678u}) {
        std::wstring text = QZVSP0100A::GetAPIErrorDescription(code);
        ASSERT_FALSE(text.empty()) << code;
        EXPECT_NE(text.back(), L'\n') << code;
        EXPECT_NE(text.back(), L'\r') << code;
        EXPECT_NE(text.back(), L' ') << code;
    }
}

TEST(Host, AnsiTextFromAPointer) {
    EXPECT_EQ(QZVSP0100A::GetStringFromPointerA("Link /OUT:x.exe"), L"Link /OUT:x.exe");
#ifdef _WIN32
    // C0 is a different letter in the users' code page 1251 and in Wine's default 1252.
    if (GetACP() == 1251) {
        EXPECT_EQ(QZVSP0100A::GetStringFromPointerA("\xC0"), L"\u0410");
    } else if (GetACP() == 1252) {
        EXPECT_EQ(QZVSP0100A::GetStringFromPointerA("\xC0"), L"\u00C0");
    }
#else
    EXPECT_EQ(QZVSP0100A::GetStringFromPointerA("\xC0"), L"\u00C0");
#endif
    EXPECT_EQ(QZVSP0100A::GetStringFromPointerA(""), L"");
    try {
        QZVSP0100A::GetStringFromPointerA(nullptr);
        FAIL() << "a null pointer must be refused";
    } catch (const AppError& error) {
        EXPECT_EQ(error.Number, 0x80004003u);
        EXPECT_NE(error.Description.find(L"GetStringFromPointerA"), std::wstring::npos);
        EXPECT_NE(error.Description.find(L"QZVSP0100A.DLL"), std::wstring::npos);
    }
}

// The results cross the boundary as BSTRs: lengths, embedded NULs and bytes must survive.
TEST(Boundary, TextSurvivesTheRoundTrip) {
    std::wstring pair{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
    EXPECT_EQ(QZVSP0100A::UnicodeToUtf8(L"Сборка " + pair), "Сборка \xF0\x9F\x98\x80");
    EXPECT_EQ(QZVSP0100A::UnicodeToUtf8(L""), "");
    EXPECT_EQ(QZVSP0100A::UnicodeToUtf8(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
    // Odd byte counts must not be rounded to whole UTF-16 units.
    EXPECT_EQ(QZVSP0100A::UnicodeToUtf8(L"abc").size(), 3u);
    EXPECT_EQ(QZVSP0100A::TrimEx(std::wstring(L"\0 x\0y \0", 7)), std::wstring(L"x\0y", 3));
    EXPECT_EQ(QZVSP0100A::TrimEx2(L" \u00A0x\t", true, true, true, true, true, false, false, false,
                                  false, false),
              L"\u00A0x");
    EXPECT_EQ(QZVSP0100A::TrimCRLF(L"Готово\r\n"), L"Готово");
    EXPECT_EQ(QZVSP0100A::FormatVersion(4, 7, 95), L"4.07.0095");
    EXPECT_EQ(QZVSP0100A::GetErrorNumber(-1), L"0xFFFFFFFF");
}

TEST(Boundary, FileNamesAndNumbers) {
    EXPECT_EQ(QZVSP0100B::ReplaceFileExtension(L"C:\\Работа\\Tool.dll", L"Compress.BAT"),
              L"C:\\Работа\\Tool.Compress.BAT");
    EXPECT_EQ(QZVSP0100B::GetFileExtension(L"C:\\my.dir\\Tool"), L"");
    EXPECT_EQ(QZVSP0100B::GetFileName(L"C:\\Work\\Tool.exe", true), L"Tool");
    EXPECT_EQ(QZVSP0100B::GetFilePath(L"C:\\Tool.exe"), L"C:\\");
    EXPECT_EQ(QZVSP0100B::GetAbsoluteFileName(L"..\\x", L"C:\\Work\\Src"), L"C:\\Work\\x");
    EXPECT_EQ(QZVSP0100B::BuildFileName(L"C:\\Work\\", L"x.exe", true), L"\"C:\\Work\\x.exe\"");
    EXPECT_EQ(QZVSP0100B::BuildFileName2(L"C:\\Work", L"", L"a", L"", L"b", L"", L"", L"", L"c"),
              L"C:\\Work\\a\\b\\c");
    EXPECT_EQ(QZVSP0100B::HiWord(0x04B00409u), 0x04B0);
    EXPECT_EQ(QZVSP0100B::LoWord(0x04B00409u), 0x0409);
    EXPECT_EQ(QZVSP0100B::Hex2(0x4B0), L"04B0");
}

#ifdef _WIN32

namespace {

// Windows always can; Wine only with an X display (the test session provides one).
bool CanCreateWindows() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    bool underWine = ntdll && GetProcAddress(ntdll, "wine_get_version");
    return !underWine || GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) != 0;
}

} // namespace

TEST(WindowsHost, AnEmptyBaseMeansTheCurrentFolder) {
    std::wstring name = QZVSP0100B::GetAbsoluteFileName(L"sub\\..\\x.txt", L"");
    ASSERT_GE(name.size(), 3u);
    EXPECT_TRUE(name[1] == L':' || name.substr(0, 2) == L"\\\\") << name.c_str();
    EXPECT_EQ(name.substr(name.size() - 6), L"\\x.txt");
    EXPECT_EQ(name.find(L".."), std::wstring::npos);

    wchar_t current[MAX_PATH] = {};
    ASSERT_NE(GetCurrentDirectoryW(MAX_PATH, current), 0u);
    EXPECT_EQ(QZVSP0100B::GetAbsoluteFileName(L"x.txt", L"."),
              QZVSP0100B::BuildFileName(current, L"x.txt", false));
}

namespace {

BOOL CALLBACK FindTopLevel(HWND window, LPARAM wanted) {
    if (window != *reinterpret_cast<HWND*>(wanted)) return TRUE;
    *reinterpret_cast<HWND*>(wanted) = nullptr; // found among the top-level windows
    return FALSE;
}

} // namespace

TEST(WindowsHost, MainWindowIsCreatedOnceAndOutOfReachOfBroadcasts) {
    if (!CanCreateWindows()) GTEST_SKIP() << "Wine without an X display creates no windows";
    std::uintptr_t first = QZVSP0100B::GetMainWindowHandle();
    ASSERT_NE(first, 0u);
    EXPECT_EQ(QZVSP0100B::GetMainWindowHandle(), first);
    HWND window = reinterpret_cast<HWND>(first);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(IsWindowVisible(window));
    // A message-only window: not among the top-level windows that a broadcast goes to.
    HWND sought = window;
    EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&sought));
    EXPECT_EQ(sought, window) << "the main window is a top-level window";
    wchar_t className[64] = {};
    ASSERT_GT(GetClassNameW(window, className, 64), 0);
    EXPECT_EQ(FindWindowExW(HWND_MESSAGE, nullptr, className, nullptr), window);
}

TEST(WindowsHost, IconsComeFromTheProgramsIconGroup) {
    if (!CanCreateWindows()) GTEST_SKIP() << "Wine without an X display creates no windows";
    std::uintptr_t window = QZVSP0100B::GetMainWindowHandle();
    QZVSP0100A::SetWindowResIconAll(window, L"A_MAIN");
    HWND handle = reinterpret_cast<HWND>(window);
    EXPECT_NE(SendMessageW(handle, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_NE(SendMessageW(handle, WM_GETICON, ICON_SMALL, 0), 0);
}

TEST(WindowsHost, FailureStatusesBecomeErrors) {
    try {
        QZVSP0100A::SetWindowResIconAll(0, L"A_MAIN");
        FAIL() << "a null window must be refused";
    } catch (const AppError& error) {
        EXPECT_EQ(error.Number, static_cast<std::uint32_t>(E_INVALIDARG));
        EXPECT_EQ(error.Description.rfind(L"Сбой операции SetWindowResIconAll "
                                          L"вспомогательной библиотеки QZVSP0100A.DLL.",
                                          0),
                  0u);
    }
    if (!CanCreateWindows()) return;
    std::uintptr_t window = QZVSP0100B::GetMainWindowHandle();
    try {
        QZVSP0100A::SetWindowResIconAll(window, L"NO_SUCH_GROUP");
        FAIL() << "a missing icon group must be reported";
    } catch (const AppError& error) {
        EXPECT_EQ(error.Number & 0x80000000u, 0x80000000u);
        EXPECT_NE(error.Description.find(L"SetWindowResIconAll"), std::wstring::npos);
    }
}

// A built program never runs inside its development environment; end to end, a run under a
// debugger shows that the answer does not follow the debugger.
TEST(WindowsHost, IsInIDEIsFalseForABuiltProgram) {
    EXPECT_FALSE(QZVSP0100B::IsInIDE());
}

#endif
