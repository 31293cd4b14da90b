// What goes wrong around a link, end to end: broken or odd option files, a linker that is missing
// or no program, failing and noisy scripts, awkward paths, command lines too long or too clever,
// a debugger, other programs talking to our windows, two builds at once. In every case the exit
// code must tell the truth, the boxes must be exactly the expected ones, and an earlier log or
// manifest is either rewritten whole or left as it was.
#include "ProgramFixture.h"

#include <windows.h>
#include <shellapi.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using e2e::FindChild;
using e2e::ReadBytes;
using e2e::WriteBytes;

const std::wstring kUnknownOption = L"В конфиге обнаружена неизвестная опция!\r\n\r\n";
const std::wstring kOffer = L"\r\n\r\nОткрыть файл с сообщениями об ошибках?";
const std::string kEarlierLog = "earlier log";
const std::string kEarlierManifest = "earlier manifest";

// The code page's bytes without best-fit look-alikes: what an honest log holds.
std::string Cp(const std::wstring& text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                                static_cast<int>(text.size()), nullptr, 0, "?", nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                        bytes.data(), n, "?", nullptr);
    return bytes;
}

// Paths past MAX_PATH need the long form for our own reads and writes.
std::wstring Long(const std::wstring& path) {
    return path.size() >= 240 && path.rfind(L"\\\\?\\", 0) != 0 ? L"\\\\?\\" + path : path;
}

std::optional<std::string> ReadAny(const std::wstring& path) {
    return e2e::ReadAllBytes(Long(path));
}

bool WriteAny(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(Long(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = e2e::WriteAll(file, bytes);
    CloseHandle(file);
    return ok;
}

// Also below folders too deep for the ordinary names, which a plain removal leaves behind.
void RemoveTree(const std::wstring& folder) {
    const std::wstring base = L"\\\\?\\" + folder;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((base + L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(folder + name + L"\\");
            } else {
                SetFileAttributesW((base + name).c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW((base + name).c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(base.c_str());
}

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(Long(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring FromOem(const std::string& bytes) {
    if (bytes.empty()) return {};
    int n =
        MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), n);
    return text;
}

bool StartsWith(const std::wstring& text, const std::wstring& head) {
    return text.compare(0, head.size(), head) == 0;
}

// The arguments a program would see, read the way the C runtime and the linker read them.
std::vector<std::wstring> Argv(const std::wstring& argumentText) {
    std::wstring line = L"x " + argumentText;
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(line.c_str(), &count);
    std::vector<std::wstring> arguments;
    for (int i = 1; argv && i < count; ++i) arguments.emplace_back(argv[i]);
    if (argv) LocalFree(argv);
    return arguments;
}

// Every top-level window of one process, shown or not.
struct ProcessWindows {
    DWORD Pid;
    std::vector<HWND> Windows;
};
BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM param) {
    auto* found = reinterpret_cast<ProcessWindows*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == found->Pid) found->Windows.push_back(window);
    return TRUE;
}

// One case of a group: a failed assertion ends the case, not the group.
template <typename Body> void Case(const std::string& name, Body body) {
    SCOPED_TRACE(name);
    body();
}

struct Want {
    std::wstring Icon;
    std::wstring Text;
    bool Cancel = false;
    bool Prefix = false; // the text only starts so (the rest is the system's words)
};

class Faults : public Program {
  protected:
    using Env = std::vector<std::pair<std::wstring, std::wstring>>;

    void SetUp() override {
        Program::SetUp();
        if (!HasFatalFailure()) Fresh(); // what an earlier run left too deep to remove
    }

    // A clean slate for the next case of a group.
    void Fresh() {
        std::error_code ignored;
        for (const auto& folder : {project_, temp_}) {
            RemoveTree(folder);
            std::filesystem::create_directories(std::filesystem::path(folder));
        }
        for (const wchar_t* name :
             {L"received.txt", L"received.txt.rsp", L"order.txt", L"opened.txt"}) {
            DeleteFileW((work_ + name).c_str());
        }
        std::filesystem::remove_all(std::filesystem::path(bin_ + L"LINK2.EXE"), ignored);
        ASSERT_TRUE(CopyFileW(Tool(L"LINK2.exe").c_str(), (bin_ + L"LINK2.EXE").c_str(), FALSE));
        DeleteFileW((bin_ + L"Vexmor Compress.BAT").c_str());
        DeleteFileW((bin_ + L"Vexmor Sign.BAT").c_str());
        linkerExit_ = 0;
        exe_ = project_ + L"Tool.exe";
    }

    e2e::RunOptions Prepare(const std::wstring& arguments, std::vector<std::wstring> answers = {},
                            const Env& extra = {}, std::wstring program = {}) {
        if (program.empty()) program = e2e::QuoteArgument(bin_ + L"VexmorLink.exe");
        auto options = LinkOptions(program + L" " + arguments, std::move(answers));
        for (const auto& [name, value] : extra) {
            bool replaced = false;
            for (auto& entry : options.Env) {
                if (_wcsicmp(entry.first.c_str(), name.c_str()) == 0) {
                    entry.second = value;
                    replaced = true;
                }
            }
            if (!replaced) options.Env.emplace_back(name, value);
        }
        return options;
    }

    e2e::RunResult Go(const std::wstring& arguments, std::vector<std::wstring> answers = {},
                      const Env& extra = {}, std::wstring program = {}) {
        auto result = e2e::Run(Prepare(arguments, std::move(answers), extra, std::move(program)));
        EXPECT_FALSE(result.TimedOut) << e2e::Describe(result);
        return result;
    }

    // Every box, and not one more.
    static void ExpectBoxes(const e2e::RunResult& result, const std::vector<Want>& want) {
        ASSERT_EQ(want.size(), result.Boxes.size()) << e2e::Describe(result);
        for (std::size_t i = 0; i < want.size(); ++i) {
            SCOPED_TRACE("box " + std::to_string(i + 1));
            const auto& box = result.Boxes[i];
            EXPECT_EQ(kTitle, box.Caption);
            EXPECT_EQ(want[i].Icon, box.Icon);
            if (want[i].Prefix) {
                EXPECT_TRUE(StartsWith(box.Text, want[i].Text)) << e2e::Describe(box);
                EXPECT_GT(box.Text.size(), want[i].Text.size()) << e2e::Describe(box);
            } else {
                EXPECT_EQ(want[i].Text, box.Text) << e2e::Describe(box);
            }
            EXPECT_TRUE(box.HasOk);
            EXPECT_EQ(want[i].Cancel, box.HasCancel);
        }
    }

    std::wstring StartFailure() const {
        return bin_ + L"LINK2.EXE\r\n\r\nНе удалось запустить.\r\n\r\n";
    }

    static std::wstring Stem(const std::wstring& exe) { return exe.substr(0, exe.rfind(L'.')); }
    static std::wstring LogOf(const std::wstring& exe) { return Stem(exe) + L".LinkLog"; }
    static std::wstring ConfigOf(const std::wstring& exe) { return Stem(exe) + L".LinkConfig"; }
    static std::wstring ManifestOf(const std::wstring& exe) { return exe + L".manifest"; }

    // What a run may damage, put in place beforehand.
    static void PlaceEarlier(const std::wstring& exe) {
        ASSERT_TRUE(WriteAny(LogOf(exe), kEarlierLog));
        ASSERT_TRUE(WriteAny(ManifestOf(exe), kEarlierManifest));
    }
    static void ExpectLogUntouched(const std::wstring& exe) {
        EXPECT_EQ(kEarlierLog, ReadAny(LogOf(exe)).value_or("<none>"));
    }
    static void ExpectManifestUntouched(const std::wstring& exe) {
        EXPECT_EQ(kEarlierManifest, ReadAny(ManifestOf(exe)).value_or("<none>"));
    }
    // Rewritten whole: the first lines and the last as a complete log has them.
    static void ExpectLogWritten(const std::wstring& exe, const std::wstring& initial,
                                 const std::wstring& modified) {
        auto log = ReadAny(LogOf(exe));
        ASSERT_TRUE(log) << "no log";
        const std::string head =
            Cp(L"Initial command line:\r\n" + initial + L"\r\n\r\nFile names:\r\n[ ] " + exe +
               L"\r\n[*] " + ConfigOf(exe) + L"\r\n");
        const std::string tail = Cp(L"\r\n\r\nModified command line:\r\n" + modified);
        EXPECT_EQ(head, log->substr(0, head.size()));
        EXPECT_TRUE(log->size() >= tail.size() &&
                    log->compare(log->size() - tail.size(), tail.size(), tail) == 0)
            << log->substr(log->size() > 400 ? log->size() - 400 : 0);
        EXPECT_EQ(std::string::npos, log->find(kEarlierLog));
    }
    static void ExpectManifestWritten(const std::wstring& exe) {
        auto bytes = ReadAny(ManifestOf(exe));
        ASSERT_TRUE(bytes) << "no manifest";
        const std::string head =
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
        EXPECT_EQ(head, bytes->substr(0, head.size()));
        EXPECT_EQ(0u, bytes->size() % 4);
        std::size_t end = bytes->rfind("</assembly>\r\n");
        ASSERT_NE(std::string::npos, end) << *bytes;
        std::string padding = bytes->substr(end + 13);
        EXPECT_LT(padding.size(), 4u);
        EXPECT_EQ(std::string::npos, padding.find_first_not_of(' '));
        const std::wstring name = exe.substr(exe.rfind(L'\\') + 1);
        EXPECT_NE(std::string::npos, bytes->find("name=\"" + e2e::ToUtf8(name) + "\""));
    }

    // A script that notes its name and its first argument, as given, in order.txt.
    void EchoScript(const std::wstring& path, const wchar_t* label, int code = 0) {
        ASSERT_TRUE(
            WriteAny(path, Ansi(L"@echo off\r\necho " + std::wstring(label) + L" %1>>\"" + work_ +
                                L"order.txt\"\r\nexit /b " + std::to_wstring(code) + L"\r\n")));
    }
};

// --- A. option files --------------------------------------------------------------------------

TEST_F(Faults, OptionFilesThatAreMissingLockedOddOrBroken) {
    const std::wstring line = L"/SUBSYSTEM:WINDOWS a.obj /DEBUGTYPE:CV /OUT:" + exe_;
    {
        Case("A1 no option file: plain pass-through, nothing written", [&] {
            Fresh();
            PlaceEarlier(exe_);
            Script(project_ + L"Tool.PreBuild.BAT", L"pre");
            auto result = Go(line);
            EXPECT_EQ(0u, result.ExitCode);
            ExpectBoxes(result, {});
            EXPECT_EQ(line, Received());
            EXPECT_EQ("link\r\n", Order());
            ExpectLogUntouched(exe_);
            ExpectManifestUntouched(exe_);
        });
    }
    {
        Case("A2 option file held open by another program", [&] {
            Fresh();
            Project(L"Tool.LinkConfig", L"CONSOLE");
            PlaceEarlier(exe_);
            Script(project_ + L"Tool.PreBuild.BAT", L"pre");
            Script(project_ + L"Tool.PostBuild.BAT", L"post");
            e2e::RunResult result;
            {
                HeldOpen held(ConfigOf(exe_));
                ASSERT_TRUE(held.Ok());
                result = Go(line);
            }
            EXPECT_EQ(0u, result.ExitCode);
            ExpectBoxes(result, {{L"error", ConfigOf(exe_) +
                                                L"\r\n\r\nНе удаётся прочитать файл настроек!"}});
            EXPECT_EQ(line, Received());
            EXPECT_EQ("link\r\n", Order()); // no build step without options
            ExpectLogUntouched(exe_);
            ExpectManifestUntouched(exe_);
        });
    }
    {
        Case("A3 a folder named like the option file is no option file", [&] {
            Fresh();
            ASSERT_TRUE(std::filesystem::create_directory(std::filesystem::path(ConfigOf(exe_))));
            PlaceEarlier(exe_);
            Script(project_ + L"Tool.PreBuild.BAT", L"pre");
            auto result = Go(line);
            EXPECT_EQ(0u, result.ExitCode);
            ExpectBoxes(result, {});
            EXPECT_EQ(line, Received());
            EXPECT_EQ("link\r\n", Order());
            ExpectLogUntouched(exe_);
            ExpectManifestUntouched(exe_);
        });
    }
    {
        Case("A4 garbage bytes with NULs: one warning per line, then the build", [&] {
            Fresh();
            // Each garbage line starts with a marker, so none can pass for an option or a comment.
            std::mt19937 random(20260101);
            std::string bytes = "# garbage follows\r\n\r\n";
            const int lines = 6;
            for (int i = 1; i <= lines; ++i) {
                bytes += 'G';
                bytes += std::to_string(i);
                bytes += ' ';
                for (int k = 0; k < 40; ++k) {
                    char c = static_cast<char>(random() % 256);
                    if (c == '\r' || c == '\n') c = 'x';
                    bytes += k == 7 ? '\0' : c;
                }
                bytes += "\r\n";
            }
            WriteBytes(ConfigOf(exe_), bytes);
            PlaceEarlier(exe_);
            auto result = Go(line);
            EXPECT_EQ(0u, result.ExitCode);
            std::vector<Want> want;
            for (int i = 1; i <= lines; ++i) {
                want.push_back(
                    {L"warning", kUnknownOption + L"G" + std::to_wstring(i) + L" ", false, true});
            }
            ExpectBoxes(result, want);
            EXPECT_EQ(line, Received());
            ExpectLogWritten(exe_, line, line);
            ExpectManifestWritten(exe_);
        });
    }
    {
        Case("A5 UTF-8 with BOM", [&] {
            Fresh();
            WriteBytes(ConfigOf(exe_), "\xEF\xBB\xBF"
                                       "CONSOLE\r\n");
            PlaceEarlier(exe_);
            auto result = Go(line);
            EXPECT_EQ(0u, result.ExitCode);
            ExpectBoxes(result, {});
            const std::wstring modified = L"/SUBSYSTEM:CONSOLE a.obj /DEBUGTYPE:CV /OUT:" + exe_;
            EXPECT_EQ(modified, Received());
            ExpectLogWritten(exe_, line, modified);
            ExpectManifestWritten(exe_);
        });
    }
    {
        Case("A6 UTF-16LE with BOM", [&] {
            Fresh();
            const std::wstring text = L"COMMENT:Сборка";
            std::string bytes = "\xFF\xFE";
            for (wchar_t c : text) {
                bytes += static_cast<char>(c & 0xFF);
                bytes += static_cast<char>((c >> 8) & 0xFF);
            }
            WriteBytes(ConfigOf(exe_), bytes);
            PlaceEarlier(exe_);
            auto result = Go(line);
            EXPECT_EQ(0u, result.ExitCode);
            ExpectBoxes(result, {});
            const std::wstring modified = line + L" /COMMENT:\"Сборка\"";
            EXPECT_EQ(modified, Received());
            ExpectLogWritten(exe_, line, modified);
            ExpectManifestWritten(exe_);
        });
    }
    {
        Case("A7 LF-only line ends make one line, and an unknown one", [&] {
            Fresh();
            WriteBytes(ConfigOf(exe_), "console\ncoff");
            PlaceEarlier(exe_);
            auto result = Go(line);
            EXPECT_EQ(0u, result.ExitCode);
            ExpectBoxes(result, {{L"warning", kUnknownOption + L"CONSOLE\nCOFF"}});
            EXPECT_EQ(line, Received());
            ExpectLogWritten(exe_, line, line);
            ExpectManifestWritten(exe_);
        });
    }
}

// --- B. the linker ----------------------------------------------------------------------------

TEST_F(Faults, ALinkerThatCannotStartNeverEndsWithZero) {
    const std::wstring line = L"a.obj /OUT:" + exe_;
    const std::wstring missing = StartFailure() + L"Win32 error: 2\r\nDescription: ";
    {
        Case("B1 LINK2.EXE missing, pass-through", [&] {
            Fresh();
            ASSERT_TRUE(DeleteFileW((bin_ + L"LINK2.EXE").c_str()));
            PlaceEarlier(exe_);
            auto result = Go(line);
            EXPECT_EQ(2u, result.ExitCode);
            ExpectBoxes(result, {{L"error", missing, false, true}});
            EXPECT_FALSE(Received());
            ExpectLogUntouched(exe_);
            ExpectManifestUntouched(exe_);
        });
    }
    {
        Case("B2 LINK2.EXE missing, configured: no post-link step", [&] {
            Fresh();
            ASSERT_TRUE(DeleteFileW((bin_ + L"LINK2.EXE").c_str()));
            Project(L"Tool.LinkConfig", L"COMPRESS");
            Script(project_ + L"Tool.PreBuild.BAT", L"pre");
            Script(project_ + L"Tool.Compress.BAT", L"compress");
            Script(project_ + L"Tool.Sign.BAT", L"sign");
            Script(project_ + L"Tool.PostBuild.BAT", L"post");
            PlaceEarlier(exe_);
            auto result = Go(line);
            EXPECT_EQ(2u, result.ExitCode);
            ExpectBoxes(result, {{L"error", missing, false, true}});
            EXPECT_EQ("pre " + Utf8(exe_) + "\r\n", Order());
            ExpectLogWritten(exe_, line, line);
            ExpectManifestUntouched(exe_);
        });
    }
    {
        Case("B3 LINK2.EXE is a folder", [&] {
            Fresh();
            ASSERT_TRUE(DeleteFileW((bin_ + L"LINK2.EXE").c_str()));
            ASSERT_TRUE(CreateDirectoryW((bin_ + L"LINK2.EXE").c_str(), nullptr));
            Project(L"Tool.LinkConfig", L"");
            Script(project_ + L"Tool.PostBuild.BAT", L"post");
            PlaceEarlier(exe_);
            auto result = Go(line);
            EXPECT_NE(0u, result.ExitCode);
            ExpectBoxes(result, {{L"error", StartFailure() + L"Win32 error: ", false, true}});
            EXPECT_EQ("", Order());
            ExpectLogWritten(exe_, line, line);
            ExpectManifestUntouched(exe_);
        });
    }
    {
        Case("B4 LINK2.EXE is no program: the system's text names it", [&] {
            Fresh();
            std::string garbage = "This is no program at all.\r\n";
            for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
            WriteBytes(bin_ + L"LINK2.EXE", garbage);
            Project(L"Tool.LinkConfig", L"");
            Script(project_ + L"Tool.PostBuild.BAT", L"post");
            PlaceEarlier(exe_);
            auto result = Go(line);
            EXPECT_NE(0u, result.ExitCode);
            ExpectBoxes(result, {{L"error", StartFailure() + L"Win32 error: ", false, true}});
            if (result.Boxes.size() == 1) {
                const std::wstring& text = result.Boxes[0].Text;
                std::size_t description = text.find(L"\r\nDescription: ");
                ASSERT_NE(std::wstring::npos, description) << Utf8(text);
                const std::wstring words = text.substr(description + 15);
                EXPECT_EQ(std::wstring::npos, words.find(L"%1")) << Utf8(words);
                EXPECT_NE(std::wstring::npos, words.find(bin_ + L"LINK2.EXE")) << Utf8(words);
            }
            EXPECT_EQ("", Order());
            ExpectLogWritten(exe_, line, line);
            ExpectManifestUntouched(exe_);
        });
    }
}

TEST_F(Faults, TheLinkersExitCodeIsPassedOnExactly) {
    for (std::uint32_t code : {0u, 1u, 255u, 0xC0000005u}) {
        const std::wstring line = L"a.obj /OUT:" + exe_;
        {
            Case("B5 configured, linker exit " + std::to_string(code), [&] {
                Fresh();
                linkerExit_ = code;
                Project(L"Tool.LinkConfig", L"");
                Script(project_ + L"Tool.PreBuild.BAT", L"pre");
                Script(project_ + L"Tool.Sign.BAT", L"sign");
                Script(project_ + L"Tool.PostBuild.BAT", L"post");
                PlaceEarlier(exe_);
                auto result = Go(line);
                EXPECT_EQ(code, result.ExitCode);
                ExpectBoxes(result, {});
                const std::string target = Utf8(exe_);
                ExpectLogWritten(exe_, line, line);
                if (code == 0) {
                    EXPECT_EQ("pre " + target + "\r\nlink\r\nsign " + target + "\r\npost " +
                                  target + "\r\n",
                              Order());
                    ExpectManifestWritten(exe_);
                } else {
                    EXPECT_EQ("pre " + target + "\r\nlink\r\n", Order());
                    ExpectManifestUntouched(exe_);
                }
            });
        }
        {
            Case("B6 pass-through, linker exit " + std::to_string(code), [&] {
                Fresh();
                linkerExit_ = code;
                PlaceEarlier(exe_);
                auto result = Go(line);
                EXPECT_EQ(code, result.ExitCode);
                ExpectBoxes(result, {});
                EXPECT_EQ(line, Received());
                ExpectLogUntouched(exe_);
                ExpectManifestUntouched(exe_);
            });
        }
    }
}

// --- C. scripts -------------------------------------------------------------------------------

struct Step {
    const wchar_t* Suffix; // of the project's script
    const wchar_t* Label;
    const wchar_t* Capture;
    const wchar_t* Failure;
};
const Step kSteps[] = {
    {L"PreBuild", L"pre", L"Vexmor Pre Build.TXT",
     L"Во время выполнения pre build произошли ошибки."},
    {L"Compress", L"compress", L"Vexmor Compress.TXT", L"Во время сжатия произошли ошибки."},
    {L"Sign", L"sign", L"Vexmor Sign.TXT", L"Во время подписывания произошли ошибки."},
    {L"PostBuild", L"post", L"Vexmor Post Build.TXT",
     L"Во время выполнения post build скрипта произошли ошибки."},
};

TEST_F(Faults, EachFailingScriptIsOfferedAndTheBuildGoesOn) {
    const std::wstring line = L"a.obj /OUT:" + exe_;
    for (const Step& failing : kSteps) {
        Case("C failing " + Utf8(failing.Label) + ", answered Cancel", [&] {
            Fresh();
            Project(L"Tool.LinkConfig", L"COMPRESS");
            for (const Step& step : kSteps) {
                Script(project_ + L"Tool." + step.Suffix + L".BAT", step.Label,
                       &step == &failing ? 3 : 0);
            }
            PlaceEarlier(exe_);
            auto result = Go(line, {L"cancel"});
            EXPECT_EQ(0u, result.ExitCode);
            const std::wstring script = project_ + L"Tool." + failing.Suffix + L".BAT";
            ExpectBoxes(result,
                        {{L"warning", script + L"\r\n\r\n" + failing.Failure + kOffer, true}});
            const std::string target = Utf8(exe_);
            EXPECT_EQ("pre " + target + "\r\nlink\r\ncompress " + target + "\r\nsign " + target +
                          "\r\npost " + target + "\r\n",
                      Order());
            const std::string label = Utf8(failing.Label);
            EXPECT_EQ(label + " says hello\r\n" + label + " complains \r\n",
                      ReadBytes(temp_ + failing.Capture));
            ExpectLogWritten(exe_, line, line);
            ExpectManifestWritten(exe_);
            ExpectNothingOpened(); // Cancel opens nothing
        });
    }
}

TEST_F(Faults, AMissingScriptIsSkippedWithoutAWord) {
    const std::wstring line = L"a.obj /OUT:" + exe_;
    for (const Step& missing : kSteps) {
        Case("C missing " + Utf8(missing.Label), [&] {
            Fresh();
            Project(L"Tool.LinkConfig", L"COMPRESS");
            const std::string target = Utf8(exe_);
            std::string expected;
            for (const Step& step : kSteps) {
                if (&step == &kSteps[1]) expected += "link\r\n"; // compress is the first after it
                if (&step == &missing) continue;
                Script(project_ + L"Tool." + step.Suffix + L".BAT", step.Label);
                expected += Utf8(step.Label) + " " + target + "\r\n";
            }
            PlaceEarlier(exe_);
            auto result = Go(line);
            EXPECT_EQ(0u, result.ExitCode);
            ExpectBoxes(result, {});
            EXPECT_EQ(expected, Order());
            EXPECT_FALSE(Exists(temp_ + missing.Capture));
            ExpectLogWritten(exe_, line, line);
            ExpectManifestWritten(exe_);
        });
    }
}

TEST_F(Faults, ScriptOutputIsCapturedWholeOrTheOfferIsLeftOut) {
    const std::wstring line = L"a.obj /OUT:" + exe_;
    {
        Case("C9 a pre-build script printing 20 MB", [&] {
            Fresh();
            std::string block;
            for (int i = 0; i < 1024; ++i)
                block += "0123456789abcdef0123456789abcdef0123456789abcd\r\n";
            std::string big;
            big.reserve(21u << 20);
            while (big.size() < (20u << 20) + 1000) big += block;
            const std::wstring bigFile = work_ + L"big.txt";
            WriteBytes(bigFile, big);
            Project(L"Tool.LinkConfig", L"");
            WriteBytes(project_ + L"Tool.PreBuild.BAT",
                       Ansi(L"@echo off\r\ntype \"" + bigFile + L"\"\r\necho pre>>\"" + work_ +
                            L"order.txt\"\r\nexit /b 0\r\n"));
            PlaceEarlier(exe_);
            auto options = Prepare(line);
            options.TimeoutMs = 120000;
            auto result = e2e::Run(options);
            EXPECT_FALSE(result.TimedOut);
            EXPECT_EQ(0u, result.ExitCode);
            ExpectBoxes(result, {});
            EXPECT_EQ("pre\r\nlink\r\n", Order());
            auto captured = ReadBytes(temp_ + L"Vexmor Pre Build.TXT");
            ASSERT_TRUE(captured);
            EXPECT_GE(captured->size(), 20u << 20);
            EXPECT_TRUE(*captured == big)
                << "captured " << captured->size() << " of " << big.size();
            ExpectLogWritten(exe_, line, line);
            ExpectManifestWritten(exe_);
            DeleteFileW(bigFile.c_str());
        });
    }
    {
        Case("C10 no capture file possible: failing scripts get a plain OK box", [&] {
            Fresh();
            const std::wstring nowhere = work_ + L"no such folder\\";
            Project(L"Tool.LinkConfig", L"");
            Script(project_ + L"Tool.PreBuild.BAT", L"pre", 3);
            Script(project_ + L"Tool.Sign.BAT", L"sign", 5);
            Script(project_ + L"Tool.PostBuild.BAT", L"post");
            PlaceEarlier(exe_);
            auto result = Go(line, {}, {{L"TEMP", nowhere}, {L"TMP", nowhere}});
            EXPECT_EQ(0u, result.ExitCode);
            ExpectBoxes(result,
                        {{L"warning", project_ + L"Tool.PreBuild.BAT\r\n\r\n" + kSteps[0].Failure},
                         {L"warning", project_ + L"Tool.Sign.BAT\r\n\r\n" + kSteps[2].Failure}});
            const std::string target = Utf8(exe_);
            EXPECT_EQ("pre " + target + "\r\nlink\r\nsign " + target + "\r\npost " + target +
                          "\r\n",
                      Order());
            EXPECT_FALSE(Exists(nowhere));
            ExpectLogWritten(exe_, line, line);
            ExpectManifestWritten(exe_);
            ExpectNothingOpened(); // nothing to open
        });
    }
}

// --- D. paths ---------------------------------------------------------------------------------

TEST_F(Faults, AwkwardFolderNamesReachLogManifestAndScriptsIntact) {
    for (const wchar_t* name : {L"with  blanks", L"amp&ersand", L"caret^x", L"open(paren",
                                L"close)paren", L"Проект", L"Мой проект & (v^2)"}) {
        Case("D output folder \"" + Utf8(name) + "\"", [&] {
            Fresh();
            const std::wstring folder = project_ + name + L"\\";
            ASSERT_TRUE(std::filesystem::create_directories(std::filesystem::path(folder)));
            exe_ = folder + L"Tool.exe";
            WriteBytes(ConfigOf(exe_), "");
            EchoScript(folder + L"Tool.PreBuild.BAT", L"pre");
            EchoScript(folder + L"Tool.PostBuild.BAT", L"post");
            PlaceEarlier(exe_);
            const std::wstring line = L"/OUT:\"" + exe_ + L"\" a.obj";
            auto result = Go(line);
            EXPECT_EQ(0u, result.ExitCode);
            ExpectBoxes(result, {});
            EXPECT_EQ(line, Received());
            // cmd writes its echo in the console's code page.
            const std::wstring expected =
                L"pre \"" + exe_ + L"\"\r\nlink\r\npost \"" + exe_ + L"\"\r\n";
            const std::string order = Order();
            EXPECT_TRUE(order == Ansi(expected) || FromOem(order) == expected) << order;
            ExpectLogWritten(exe_, line, line);
            ExpectManifestWritten(exe_);
        });
    }
}

TEST_F(Faults, PathsPastMaxPathStillGetTheirFiles) {
    {
        Case("D8 output folder of 300+ characters", [&] {
            Fresh();
            std::wstring folder = project_;
            for (int i = 0; i < 3; ++i) {
                folder += std::wstring(100, static_cast<wchar_t>(L'a' + i)) + L"\\";
                ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr)) << i;
            }
            ASSERT_GT(folder.size(), 300u);
            exe_ = folder + L"Tool.exe";
            ASSERT_TRUE(WriteAny(ConfigOf(exe_), ""));
            PlaceEarlier(exe_);
            const std::wstring line = L"/OUT:\"" + exe_ + L"\" a.obj";
            auto result = Go(line);
            EXPECT_EQ(0u, result.ExitCode);
            ExpectBoxes(result, {});
            EXPECT_EQ(line, Received());
            ExpectLogWritten(exe_, line, line);
            ExpectManifestWritten(exe_);
        });
    }
    {
        Case("D9 a folder for temporary files of 260+ characters", [&] {
            Fresh();
            std::wstring longTemp = temp_;
            for (int i = 0; i < 3; ++i) {
                longTemp += std::wstring(90, static_cast<wchar_t>(L't' + i)) + L"\\";
                ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + longTemp).c_str(), nullptr)) << i;
            }
            ASSERT_GT(longTemp.size(), 260u);
            linkerExit_ = 1;
            Project(L"Tool.LinkConfig", L"");
            Script(project_ + L"Tool.PreBuild.BAT", L"pre");
            PlaceEarlier(exe_);
            const std::wstring line = L"a.obj /OUT:" + exe_;
            auto result = Go(line, {}, {{L"TEMP", longTemp}, {L"TMP", longTemp}});
            EXPECT_EQ(1u, result.ExitCode);
            ExpectBoxes(result, {});
            EXPECT_EQ("pre " + Utf8(exe_) + "\r\nlink\r\n", Order());
            ExpectLogWritten(exe_, line, line);
            ExpectManifestUntouched(exe_);
        });
    }
}

// --- E. command lines -------------------------------------------------------------------------

TEST_F(Faults, LongLinesGoThroughAResponseFile) {
    {
        Case("E1 a COMMENT of 40,000 characters", [&] {
            Fresh();
            std::wstring comment = L"Сборка";
            while (comment.size() < 40000) comment += L" abc-" + std::to_wstring(comment.size());
            comment.resize(40000);
            comment.back() = L'z';
            Project(L"Tool.LinkConfig", L"COMMENT:" + comment);
            PlaceEarlier(exe_);
            const std::wstring line = L"/SUBSYSTEM:WINDOWS a.obj /OUT:" + exe_;
            const std::wstring modified = line + L" /COMMENT:\"" + comment + L"\"";
            auto result = Go(line);
            EXPECT_EQ(0u, result.ExitCode);
            ExpectBoxes(result, {});
            const std::wstring received = Received().value_or(L"<not started>");
            ASSERT_TRUE(received.size() > 3 && StartsWith(received, L"@\"") &&
                        received.back() == L'"')
                << Utf8(received.substr(0, 200));
            EXPECT_FALSE(Exists(received.substr(2, received.size() - 3)));
            auto rsp = ReadBytes(work_ + L"received.txt.rsp");
            ASSERT_TRUE(rsp);
            EXPECT_TRUE(*rsp == Cp(modified)) << rsp->size() << " bytes: " << rsp->substr(0, 200);
            ExpectLogWritten(exe_, line, modified);
            ExpectManifestWritten(exe_);
        });
    }
    {
        // Nothing can start a program with 40,000 characters (32,767 is the system's limit);
        // the longest line the program can get, started by a short name, is longer still
        // once the linker's full path stands in front of it.
        Case("E2 a pass-through line too long for the linker's command line", [&] {
            Fresh();
            PlaceEarlier(exe_);
            const std::wstring program = L"VexmorLink.exe";
            std::wstring line = L"/OUT:" + exe_;
            for (int i = 0; line.size() < 32766 - program.size() - 1 - 12; ++i) {
                line += L" obj" + std::to_wstring(i) + L".obj";
            }
            wchar_t previous[MAX_PATH + 1] = {};
            GetCurrentDirectoryW(MAX_PATH + 1, previous);
            ASSERT_TRUE(SetCurrentDirectoryW(bin_.c_str()));
            auto result = Go(line, {}, {}, program);
            SetCurrentDirectoryW(previous);
            EXPECT_EQ(0u, result.ExitCode);
            ExpectBoxes(result, {});
            const std::wstring received = Received().value_or(L"<not started>");
            ASSERT_TRUE(received.size() > 3 && StartsWith(received, L"@\"") &&
                        received.back() == L'"')
                << Utf8(received.substr(0, 200)) << " (" << received.size() << " characters)";
            EXPECT_FALSE(Exists(received.substr(2, received.size() - 3)));
            auto rsp = ReadBytes(work_ + L"received.txt.rsp");
            ASSERT_TRUE(rsp);
            EXPECT_TRUE(*rsp == Cp(line)) << rsp->size() << " bytes: " << rsp->substr(0, 200);
            ExpectLogUntouched(exe_);
            ExpectManifestUntouched(exe_);
        });
    }
    {
        Case("E3 a long COMMENT with a character outside the code page", [&] {
            Fresh();
            std::wstring comment = L"snow \u2603 ";
            while (comment.size() < 40000) comment += L"x";
            WriteBytes(ConfigOf(exe_), "\xEF\xBB\xBF" + Utf8(L"COMMENT:" + comment));
            Script(project_ + L"Tool.PostBuild.BAT", L"post");
            PlaceEarlier(exe_);
            const std::wstring line = L"a.obj /OUT:" + exe_;
            auto result = Go(line);
            EXPECT_NE(0u, result.ExitCode);
            ExpectBoxes(result, {{L"error", StartFailure(), false, true}});
            if (!result.Boxes.empty()) {
                EXPECT_EQ(std::wstring::npos, result.Boxes[0].Text.find(L"%1"));
            }
            EXPECT_FALSE(Received());
            EXPECT_EQ("", Order());
            ExpectLogWritten(exe_, line, line + L" /COMMENT:\"" + comment + L"\"");
            ExpectManifestUntouched(exe_);
        });
    }
}

TEST_F(Faults, OptionValuesCannotSmuggleInArguments) {
    struct Smuggle {
        const char* Name;
        std::wstring Option;
        std::wstring Argument; // what the linker must see as one argument
    };
    const Smuggle cases[] = {
        {"E4 quotes in a COMMENT", L"COMMENT:x\" /DEBUG /OUT:\"C:\\evil.exe",
         L"/COMMENT:x\" /DEBUG /OUT:\"C:\\evil.exe"},
        {"E5 a quote in a STUB", L"STUB:a\"b", L"/STUB:" + project_ + L"a\"b"},
        {"E6 a COMMENT ending with a backslash", L"COMMENT:dir\\", L"/COMMENT:dir\\"},
    };
    for (const Smuggle& c : cases) {
        Case(c.Name, [&] {
            Fresh();
            Project(L"Tool.LinkConfig", c.Option);
            PlaceEarlier(exe_);
            const std::wstring line = L"/OUT:\"" + exe_ + L"\" a.obj";
            auto result = Go(line);
            EXPECT_EQ(0u, result.ExitCode);
            ExpectBoxes(result, {});
            const std::wstring received = Received().value_or(L"<not started>");
            const std::vector<std::wstring> want = {L"/OUT:" + exe_, L"a.obj", c.Argument};
            EXPECT_EQ(want, Argv(received)) << Utf8(received);
            int outs = 0;
            for (const auto& argument : Argv(received)) {
                if (_wcsnicmp(argument.c_str(), L"/OUT:", 5) == 0) ++outs;
            }
            EXPECT_EQ(1, outs);
            ExpectLogWritten(exe_, line, received);
            ExpectManifestWritten(exe_);
        });
    }
}

// --- F. under a debugger ----------------------------------------------------------------------

TEST_F(Faults, UnderADebuggerTheProgramBehavesAsWithout) {
    auto debugged = [&] {
        return e2e::QuoteArgument(Tool(L"DebugRunner.exe")) + L" " +
               e2e::QuoteArgument(bin_ + L"VexmorLink.exe");
    };
    const std::wstring line = L"/SUBSYSTEM:WINDOWS a.obj /OUT:" + exe_;
    {
        Case("F1 a clean configured build: no box at all", [&] {
            Fresh();
            Project(L"Tool.LinkConfig", L"CONSOLE");
            Script(project_ + L"Tool.PreBuild.BAT", L"pre");
            Script(project_ + L"Tool.PostBuild.BAT", L"post");
            PlaceEarlier(exe_);
            auto result = Go(line, {}, {}, debugged());
            EXPECT_EQ(0u, result.ExitCode);
            ExpectBoxes(result, {});
            const std::wstring modified = L"/SUBSYSTEM:CONSOLE a.obj /OUT:" + exe_;
            EXPECT_EQ(modified, Received());
            EXPECT_EQ("pre " + Utf8(exe_) + "\r\nlink\r\npost " + Utf8(exe_) + "\r\n", Order());
            ExpectLogWritten(exe_, line, modified);
            ExpectManifestWritten(exe_);
        });
    }
    {
        Case("F2 the linker fails", [&] {
            Fresh();
            linkerExit_ = 1;
            Project(L"Tool.LinkConfig", L"");
            PlaceEarlier(exe_);
            auto result = Go(line, {}, {}, debugged());
            EXPECT_EQ(1u, result.ExitCode);
            ExpectBoxes(result, {});
            ExpectLogWritten(exe_, line, line);
            ExpectManifestUntouched(exe_);
        });
    }
    {
        Case("F3 the linker is missing", [&] {
            Fresh();
            ASSERT_TRUE(DeleteFileW((bin_ + L"LINK2.EXE").c_str()));
            Project(L"Tool.LinkConfig", L"");
            PlaceEarlier(exe_);
            auto result = Go(line, {}, {}, debugged());
            EXPECT_EQ(2u, result.ExitCode);
            ExpectBoxes(result, {{L"error", StartFailure() + L"Win32 error: 2\r\nDescription: ",
                                  false, true}});
            ExpectLogWritten(exe_, line, line);
            ExpectManifestUntouched(exe_);
        });
    }
}

// --- G. the program's windows while the linker runs -------------------------------------------

TEST_F(Faults, TheProgramsWindowsAnswerWhileTheLinkerRuns) {
    SCOPED_TRACE("G hidden window during a 3 s link");
    Fresh();
    Project(L"Tool.LinkConfig", L"");
    PlaceEarlier(exe_);
    struct Probe {
        bool SawLinker = false;
        int Windows = 0;     // top-level and message-only
        int MessageOnly = 0; // out of reach of other programs: not asked
        int Unanswered = 0;  // top-level windows that did not answer
        bool LinkerStillRunning = false;
    } probe;
    std::thread prober([&probe] {
        DWORD program = 0, linker = 0;
        for (auto deadline = std::chrono::steady_clock::now() + 10s;
             std::chrono::steady_clock::now() < deadline && !linker;
             std::this_thread::sleep_for(20ms)) {
            if (!program) program = FindChild(GetCurrentProcessId(), L"VexmorLink.exe");
            if (program) linker = FindChild(program, L"LINK2.EXE");
        }
        if (!linker) return;
        probe.SawLinker = true;
        HANDLE linkerProcess = OpenProcess(SYNCHRONIZE, FALSE, linker);
        ProcessWindows found{program, {}};
        EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&found));
        const size_t topLevel = found.Windows.size();
        for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
             window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) {
            CollectProcessWindow(window, reinterpret_cast<LPARAM>(&found));
        }
        probe.Windows = static_cast<int>(found.Windows.size());
        probe.MessageOnly = static_cast<int>(found.Windows.size() - topLevel);
        for (size_t i = 0; i < topLevel; ++i) {
            HWND window = found.Windows[i];
            DWORD_PTR answer = 0;
            if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 1000,
                                     &answer))
                ++probe.Unanswered;
        }
        // A broadcast waits for every top-level window; one that hung would keep it until
        // after the link had ended.
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(HWND_BROADCAST, WM_NULL, 0, 0, SMTO_BLOCK, 5000, &answer);
        probe.LinkerStillRunning =
            linkerProcess && WaitForSingleObject(linkerProcess, 0) == WAIT_TIMEOUT;
        if (linkerProcess) CloseHandle(linkerProcess);
    });
    const std::wstring line = L"a.obj /OUT:" + exe_;
    auto result = Go(line, {}, {{L"VEXMOR_STANDIN_SLEEP_MS", L"3000"}});
    prober.join();
    EXPECT_EQ(0u, result.ExitCode);
    ExpectBoxes(result, {});
    ASSERT_TRUE(probe.SawLinker);
    std::printf("program windows: %d (%d message-only), %d unanswered\n", probe.Windows,
                probe.MessageOnly, probe.Unanswered);
    ASSERT_GT(probe.Windows, 0) << "the probe saw none of the program's windows";
    EXPECT_EQ(0, probe.Unanswered) << "of " << probe.Windows << " windows";
    EXPECT_TRUE(probe.LinkerStillRunning) << "the broadcast waited for the link to end";
    ExpectLogWritten(exe_, line, line);
    ExpectManifestWritten(exe_);
}

// --- H. the log's code page -------------------------------------------------------------------

TEST_F(Faults, TheLogShowsAQuestionMarkForLettersOutsideItsCodePage) {
    for (const wchar_t* name : {L"Proj \u00e4", L"Proj \u0142"}) {
        Case("H output folder \"" + Utf8(name) + "\"", [&] {
            Fresh();
            const std::wstring folder = project_ + name + L"\\";
            ASSERT_TRUE(std::filesystem::create_directories(std::filesystem::path(folder)));
            exe_ = folder + L"Tool.exe";
            WriteBytes(ConfigOf(exe_), "");
            PlaceEarlier(exe_);
            const std::wstring line = L"/OUT:\"" + exe_ + L"\"";
            auto result = Go(line);
            EXPECT_EQ(0u, result.ExitCode);
            ExpectBoxes(result, {});
            EXPECT_EQ(line, Received());
            auto log = ReadBytes(LogOf(exe_));
            ASSERT_TRUE(log);
            EXPECT_NE(std::string::npos, log->find("Proj ?\\Tool.exe")) << *log;
            EXPECT_EQ(std::string::npos, log->find("Proj a\\")) << *log;
            EXPECT_EQ(std::string::npos, log->find("Proj l\\")) << *log;
            ExpectLogWritten(exe_, line, line);
            ExpectManifestWritten(exe_);
        });
    }
}

// --- I. two builds at once --------------------------------------------------------------------

TEST_F(Faults, TwoBuildsAtOnceKeepToTheirOwnFiles) {
    SCOPED_TRACE("I two configured builds started together");
    Fresh();
    struct Build {
        std::wstring Exe, Line, Record;
        e2e::RunOptions Options;
        e2e::RunResult Result;
        std::string Failure;
    } builds[2];
    int i = 0;
    for (const wchar_t* name : {L"One", L"Two"}) {
        Build& b = builds[i++];
        const std::wstring folder = project_ + name + L"\\";
        ASSERT_TRUE(std::filesystem::create_directories(std::filesystem::path(folder)));
        b.Exe = folder + L"Tool.exe";
        b.Record = work_ + name + L".received.txt";
        WriteBytes(ConfigOf(b.Exe), "CONSOLE");
        PlaceEarlier(b.Exe);
        b.Line = L"/SUBSYSTEM:WINDOWS /OUT:" + b.Exe;
        b.Options = Prepare(b.Line, {},
                            {{L"VEXMOR_STANDIN_SLEEP_MS", L"1000"},
                             {L"VEXMOR_STANDIN_RECORD", b.Record},
                             {L"VEXMOR_STANDIN_ORDER", work_ + name + L".order.txt"}});
    }
    std::vector<std::thread> threads;
    for (Build& b : builds) {
        threads.emplace_back([&b] {
            try {
                b.Result = e2e::Run(b.Options);
            } catch (const std::exception& error) {
                b.Failure = error.what();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (Build& b : builds) {
        Case(Utf8(b.Exe), [&] {
            ASSERT_EQ("", b.Failure);
            EXPECT_FALSE(b.Result.TimedOut);
            EXPECT_EQ(0u, b.Result.ExitCode);
            ExpectBoxes(b.Result, {});
            const std::wstring modified = L"/SUBSYSTEM:CONSOLE /OUT:" + b.Exe;
            EXPECT_EQ(Utf8(modified), ReadBytes(b.Record).value_or(""));
            ExpectLogWritten(b.Exe, b.Line, modified);
            ExpectManifestWritten(b.Exe);
        });
    }
}

} // namespace
