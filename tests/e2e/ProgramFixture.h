// The end-to-end tests' view of an installation: the program with its libraries and the
// stand-in linker in bin\, a project folder, a folder for temporary files, and the run itself.
#pragma once

#include "E2eFixture.h"
#include "platform/AnsiFile.h"

#include <string>
#include <vector>

inline const std::wstring kTitle = L"Vexmor Link";

inline std::string Ansi(const std::wstring& text) {
    return platform::ToAnsi(text);
}

// One folder per test: bin\ holds the program, its reader and libraries and the stand-in linker
// as an installation would; project\ the output file's folder; temp\ for temporary files.
class Program : public e2e::E2eTest {
  protected:
    void SetUp() override {
        E2eTest::SetUp();
        if (HasFatalFailure()) return;
        bin_ = work_ + L"bin\\";
        project_ = work_ + L"project\\";
        temp_ = work_ + L"temp\\";
        for (const auto& folder : {bin_, project_, temp_}) {
            std::filesystem::create_directories(std::filesystem::path(folder));
        }
        const std::wstring built = testsDir_ + L"..\\bin\\";
        for (const wchar_t* name :
             {L"VexmorLink.exe", L"VexmorLinkReader.exe", L"QZVSP0100A.DLL", L"QZVSP0100B.DLL"}) {
            ASSERT_TRUE(CopyFileW((built + name).c_str(), (bin_ + name).c_str(), FALSE)) << name;
        }
        ASSERT_TRUE(CopyFileW(Tool(L"LINK2.exe").c_str(), (bin_ + L"LINK2.EXE").c_str(), FALSE));
        exe_ = project_ + L"Tool.exe";
        // What a real link writes: a program with a version resource.
        output_ = testsDir_ + L"version\\App.exe";
    }

    // How the environment starts the program (command line given whole), with the stand-in's
    // settings, the test's own folder for temporary files and the answers to the boxes in order.
    e2e::RunOptions LinkOptions(const std::wstring& commandLine,
                                std::vector<std::wstring> answers = {}) const {
        auto options = Options(commandLine);
        options.Env = {{L"VEXMOR_STANDIN_RECORD", work_ + L"received.txt"},
                       {L"VEXMOR_STANDIN_ORDER", work_ + L"order.txt"},
                       {L"VEXMOR_STANDIN_EXIT", std::to_wstring(linkerExit_)},
                       {L"VEXMOR_STANDIN_OUTPUT", output_},
                       {L"VEXMOR_OPEN_RECORD", work_ + L"opened.txt"},
                       {L"TEMP", temp_},
                       {L"TMP", temp_}};
        options.Answers = std::move(answers);
        return options;
    }
    // Runs the program with this argument text; answers boxes in order as given.
    e2e::RunResult Link(const std::wstring& arguments, std::vector<std::wstring> answers = {}) {
        auto result = e2e::Run(LinkOptions(
            e2e::QuoteArgument(bin_ + L"VexmorLink.exe") + L" " + arguments, std::move(answers)));
        EXPECT_FALSE(result.TimedOut) << e2e::Describe(result);
        return result;
    }
    // The argument text the stand-in linker received, or nothing when it did not run.
    std::optional<std::wstring> Received() {
        auto bytes = e2e::ReadBytes(work_ + L"received.txt");
        if (!bytes) return std::nullopt;
        return e2e::FromUtf8(*bytes);
    }
    void Project(const wchar_t* name, const std::wstring& text) {
        e2e::WriteBytes(project_ + name, Ansi(text));
    }
    // A script that appends its name and first argument to order.txt and exits with code.
    void Script(const std::wstring& path, const wchar_t* label, int code = 0) {
        e2e::WriteBytes(path,
                        Ansi(L"@echo off\r\necho " + std::wstring(label) + L" %~1>>\"" + work_ +
                             L"order.txt\"\r\necho " + label + L" says hello\r\necho " + label +
                             L" complains 1>&2\r\nexit /b " + std::to_wstring(code) + L"\r\n"));
    }
    // The shell starts what it opens on its own time: open a known file the same way, and once
    // that is recorded it must be all there is.
    void ExpectNothingOpened() {
        const std::wstring known = work_ + L"known.txt";
        e2e::WriteBytes(known, "");
        auto options = Options(QuotedTool(L"BoxProbe.exe") + L" open " + e2e::QuoteArgument(known));
        options.Env = {{L"VEXMOR_OPEN_RECORD", work_ + L"opened.txt"}};
        ASSERT_EQ(10u, e2e::Run(options).ExitCode);
        const std::string line = Utf8(L"\"" + known + L"\"\r\n");
        using namespace std::chrono_literals;
        EXPECT_EQ(line, e2e::WaitForFile(work_ + L"opened.txt", 10s, line).value_or("none"));
    }
    std::string Order() { return e2e::ReadBytes(work_ + L"order.txt").value_or(""); }
    std::string Utf8(const std::wstring& text) { return e2e::ToUtf8(text); }

    std::wstring bin_, project_, temp_, exe_;
    std::wstring output_; // the file the stand-in linker writes to the /OUT: path
    std::uint32_t linkerExit_ = 0;
};

inline void ExpectBox(const e2e::BoxRecord& box, const wchar_t* icon, const std::wstring& text,
                      bool cancel = false) {
    EXPECT_EQ(kTitle, box.Caption);
    EXPECT_EQ(icon, box.Icon);
    EXPECT_EQ(text, box.Text);
    EXPECT_TRUE(box.HasOk);
    EXPECT_EQ(cancel, box.HasCancel);
}

// Holds a file open without sharing, as another program busy with it would.
class HeldOpen {
  public:
    explicit HeldOpen(const std::wstring& path)
        : handle_(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~HeldOpen() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    bool Ok() const { return handle_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE handle_;
};
