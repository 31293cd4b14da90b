// Install.cmd and Uninstall.cmd under the platform's own command processor: a copy of the release
// zip's files (this build's, where it makes no zip), a folder standing in for the development
// environment's with the stand-in linker as its LINK.EXE, both named with blanks, &, ( and
// Cyrillic letters.
#include "ProgramFixture.h"

#include <algorithm>
#include <map>

namespace {

// The unpacked zip and the environment's folder, in the test's work folder.
#define ZIP L"Выпуск (1) & Co\\"
#define ENV L"Среда & (x86) Бин"
#define READER ENV L"\\VexmorLinkReader.exe"

// A folder's state, one letter per file: LINK.EXE, LINK2.EXE, QZVSP0100A.DLL, QZVSP0100B.DLL,
// VexmorLinkReader.exe. L the stand-in linker, O ours, E an earlier version of ours, X another
// program, A and B our libraries, R our reader, S an earlier library or reader, - no file.
constexpr const wchar_t* kFiles[] = {L"LINK.EXE", L"LINK2.EXE", L"QZVSP0100A.DLL",
                                     L"QZVSP0100B.DLL", L"VexmorLinkReader.exe"};
constexpr const char* kInstalled = "OLABR";
constexpr const char* kPlain = "L----";

struct Case {
    const char* Name;
    const wchar_t* Script;
    const char* Before;
    const wchar_t* Held; // a file that another program holds open meanwhile
    bool NoFolder;       // started in the environment's folder, without naming it
    std::uint32_t Exit;
    const char* After;
    const char* Says;
};

const Case kCases[] = {
    {"fresh", L"Install", kPlain, nullptr, false, 0, kInstalled, "Renamed the environment's"},
    {"current_folder", L"Install", kPlain, nullptr, true, 0, kInstalled, "Copied VexmorLink.exe"},
    {"over_earlier", L"Install", "ELSS-", nullptr, false, 0, kInstalled, "replacing the installed"},
    {"half_finished", L"Install", "OLA-S", nullptr, false, 0, kInstalled, "Copied QZVSP0100B.DLL"},
    {"after_rename", L"Install", "-LA--", nullptr, false, 0, kInstalled, "finishing an install"},
    {"library_held", L"Install", kPlain, ZIP L"QZVSP0100B.DLL", false, 1, "-LA--",
     "could not copy QZVSP0100B.DLL"},
    {"program_held", L"Install", kPlain, ZIP L"VexmorLink.exe", false, 1, "-LABR",
     "could not copy VexmorLink.exe as LINK.EXE"},
    {"reader_held", L"Install", "ELSSS", READER, false, 1, "ELABS", "copy VexmorLinkReader"},
    {"no_linker", L"Install", "-----", nullptr, false, 1, "-----", "neither LINK.EXE nor LINK2"},
    {"double_click", L"Install", "-----", nullptr, true, 1, "-----", "Usage: Install.cmd"},
    {"link2_present", L"Install", "LX---", nullptr, false, 1, "LX---", "would overwrite LINK2"},
    {"ours_alone", L"Install", "O-ABR", nullptr, false, 1, "O-ABR", "linker is missing"},
    {"link2_ours", L"Install", "LOA--", nullptr, false, 1, "LOA--", "linker is missing"},
    {"by_hand", L"Install", "X-AB-", nullptr, false, 1, "X-AB-", "installed by hand"},
    {"remove", L"Uninstall", kInstalled, nullptr, false, 0, kPlain, "Renamed LINK2.EXE back"},
    {"remove_after_rename", L"Uninstall", "-LA--", nullptr, false, 0, kPlain, "Renamed LINK2"},
    {"link_held", L"Install", kInstalled, ENV L"\\LINK.EXE", false, 1, kInstalled,
     "could not copy VexmorLink.exe as LINK.EXE"},
    {"remove_link_held", L"Uninstall", kInstalled, ENV L"\\LINK.EXE", false, 1, "OL---",
     "could not delete our LINK.EXE"},
    {"remove_reader_held", L"Uninstall", kInstalled, READER, false, 1, "OL--R", "delete VexmorL"},
    {"left_reader", L"Uninstall", "L---R", nullptr, false, 0, kPlain, "our VexmorLinkReader"},
    {"nothing_to_remove", L"Uninstall", kPlain, nullptr, false, 0, kPlain, "nothing of"},
    {"remove_ours_alone", L"Uninstall", "O-ABR", nullptr, false, 1, "O-ABR", "linker is missing"},
    {"remove_link2_ours", L"Uninstall", "LO---", nullptr, false, 1, "LO---", "linker is missing"},
    {"remove_by_hand", L"Uninstall", "XLAB-", nullptr, false, 1, "XLAB-", "installed by hand"},
};

class Release : public Program {
  protected:
    void SetUp() override {
        Program::SetUp();
        if (HasFatalFailure()) return;
        zip_ = work_ + ZIP;
        env_ = work_ + ENV;
        // The release zip's own files where the build made one, else the build's.
        const std::wstring built =
            e2e::GetEnv(L"VEXMOR_RELEASE_DIR").value_or(testsDir_ + L"..\\bin\\");
        for (const wchar_t* name :
             {L"VexmorLink.exe", L"VexmorLinkReader.exe", L"QZVSP0100A.DLL", L"QZVSP0100B.DLL",
              L"ReadMe.TXT", L"Install.cmd", L"Uninstall.cmd", L"Examples\\Example.LinkConfig"}) {
            std::filesystem::create_directories(std::filesystem::path(zip_ + name).parent_path());
            ASSERT_TRUE(CopyFileW((built + name).c_str(), (zip_ + name).c_str(), FALSE)) << name;
        }
        auto read = [](const std::wstring& path) { return e2e::ReadBytes(path).value_or(""); };
        bytes_ = {{'L', read(Tool(L"LINK2.exe"))},
                  {'O', read(zip_ + L"VexmorLink.exe")},
                  // An earlier version carries the same marker in other bytes.
                  {'E', read(zip_ + L"VexmorLink.exe") + "an earlier version"},
                  {'X', read(Tool(L"BoxProbe.exe"))},
                  {'A', read(zip_ + L"QZVSP0100A.DLL")},
                  {'B', read(zip_ + L"QZVSP0100B.DLL")},
                  {'R', read(zip_ + L"VexmorLinkReader.exe")},
                  {'S', "an earlier library"}};
    }

    void Put(const char* state) {
        std::filesystem::create_directories(std::filesystem::path(env_));
        for (std::size_t i = 0; i < 5; ++i)
            if (state[i] != '-') e2e::WriteBytes(env_ + L"\\" + kFiles[i], bytes_.at(state[i]));
    }

    // Every file as expected, byte for byte (the stand-in linker above all), and nothing else.
    void Expect(const char* state, const std::string& step) {
        for (std::size_t i = 0; i < 5; ++i) {
            auto bytes = e2e::ReadBytes(env_ + L"\\" + kFiles[i]);
            EXPECT_TRUE(state[i] == '-' ? !bytes : bytes == bytes_.at(state[i]))
                << step << ": " << e2e::ToUtf8(kFiles[i]) << " is not as expected in " << state;
        }
        auto entries = std::filesystem::directory_iterator(std::filesystem::path(env_));
        EXPECT_EQ(5 - std::count(state, state + 5, '-'),
                  std::distance(begin(entries), end(entries)))
            << step << ": other files in the folder";
    }

    e2e::RunResult RunScript(const wchar_t* script, bool noFolder = false) {
        std::wstring line = L"cmd.exe /d /c \"\"" + zip_ + script + L".cmd\"";
        if (!noFolder) line += L" \"" + env_ + L"\"";
        auto options = Options(line + L"\"");
        if (noFolder) options.WorkDir = env_;
        return e2e::Run(options); // a run cut short shows as exit code 258
    }

    std::wstring zip_, env_;
    std::map<char, std::string> bytes_;
};

TEST_F(Release, EveryStateOfTheFolder) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.Name);
        std::filesystem::remove_all(std::filesystem::path(env_));
        Put(c.Before);
        std::optional<HeldOpen> held;
        if (c.Held) {
            ASSERT_TRUE(held.emplace(work_ + c.Held).Ok());
        }
        auto result = RunScript(c.Script, c.NoFolder);
        held.reset();
        EXPECT_EQ(c.Exit, result.ExitCode) << e2e::Describe(result);
        EXPECT_NE(std::string::npos, result.StdOut.find(c.Says)) << e2e::Describe(result);
        Expect(c.After, c.Name);
    }
}

// The whole round: install, install again, a build through the installed program with the
// example option file (one option switched on), uninstall, uninstall again.
TEST_F(Release, InstallLinkUninstall) {
    Put(kPlain);
    for (const wchar_t* script : {L"Install", L"Install"}) {
        EXPECT_EQ(0u, RunScript(script).ExitCode);
        Expect(kInstalled, e2e::ToUtf8(script));
    }
    auto example = e2e::ReadBytes(zip_ + L"Examples\\Example.LinkConfig").value_or("missing");
    e2e::WriteBytes(project_ + L"Tool.LinkConfig", example + "CONSOLE\r\n");
    auto result = e2e::Run(LinkOptions(e2e::QuoteArgument(env_ + L"\\LINK.EXE") + L" /OUT:\"" +
                                       exe_ + L"\" /SUBSYSTEM:WINDOWS"));
    EXPECT_EQ(0u, result.ExitCode) << e2e::Describe(result);
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    EXPECT_EQ(L"/OUT:\"" + exe_ + L"\" /SUBSYSTEM:CONSOLE", Received().value_or(L"no link"));
    Expect(kInstalled, "link");
    for (const wchar_t* script : {L"Uninstall", L"Uninstall"}) {
        EXPECT_EQ(0u, RunScript(script).ExitCode);
        Expect(kPlain, e2e::ToUtf8(script));
    }
}

} // namespace
