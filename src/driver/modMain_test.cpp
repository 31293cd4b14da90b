#include "driver/modMain.h"
#include "driver/CommandLine.h"

#include "Fakes.h"
#include "TestFolders.h"
#include "config/CConfig.h"
#include "log/modLog.h"
#include "platform/AnsiFile.h"
#include "support/QZVSP0100B.h"
#include "version/modFormatVersion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using CommandLine::ReplaceSwitch;
using CommandLine::RewriteCommandLine;

namespace {

CConfig Parse(const std::wstring& text) {
    CConfig config;
    EXPECT_TRUE(config.Init(text));
    return config;
}

std::wstring Rewrite(const std::wstring& line, const std::wstring& options) {
    return RewriteCommandLine(line, Parse(options), L"C:\\Work\\Tool.DEF",
                              L"C:\\Work\\Tool.LinkConfig");
}

} // namespace

TEST(ReplaceSwitch, ReplacesEveryWholeSwitchWithExactCase) {
    EXPECT_EQ(
        L"/DEBUGTYPE:COFF /X /DEBUGTYPE:COFF",
        ReplaceSwitch(L"/DEBUGTYPE:CV /X /DEBUGTYPE:CV", L" /DEBUGTYPE:CV", L" /DEBUGTYPE:COFF"));
    EXPECT_EQ(L"a /debugtype:cv",
              ReplaceSwitch(L"a /debugtype:cv", L" /DEBUGTYPE:CV", L" /DEBUGTYPE:COFF"));
    EXPECT_EQ(L"a x/DEBUGTYPE:CV",
              ReplaceSwitch(L"a x/DEBUGTYPE:CV", L" /DEBUGTYPE:CV", L" /DEBUGTYPE:COFF"));
    EXPECT_EQ(L"a /SUBSYSTEM:CONSOLE,4.0 b",
              ReplaceSwitch(L"a /SUBSYSTEM:WINDOWS,4.0 b", L" /SUBSYSTEM:WINDOWS",
                            L" /SUBSYSTEM:CONSOLE"));
    EXPECT_EQ(L"", ReplaceSwitch(L"", L" /A", L" /B"));
    // A replacement that contains the search text is not replaced again.
    EXPECT_EQ(L"/A/A /B", ReplaceSwitch(L"/A /B", L" /A", L" /A/A"));
}

TEST(RewriteCommandLine, ReplacesCoffAndConsoleInPlaceAndAppendsNothingElse) {
    const std::wstring line = L"/DEBUGTYPE:CV a.obj /SUBSYSTEM:WINDOWS,4.0 /OUT:C:\\Work\\Tool.exe";
    EXPECT_EQ(L"/DEBUGTYPE:COFF a.obj /SUBSYSTEM:CONSOLE,4.0 /OUT:C:\\Work\\Tool.exe",
              Rewrite(line, L"COFF\r\nCONSOLE"));
    EXPECT_EQ(line, Rewrite(line, L""));
    EXPECT_EQ(L"/DEBUGTYPE:COFF a.obj /SUBSYSTEM:WINDOWS,4.0 /OUT:C:\\Work\\Tool.exe",
              Rewrite(line, L"COFF"));
    EXPECT_EQ(L"/debugtype:cv /subsystem:windows",
              Rewrite(L"/debugtype:cv /subsystem:windows", L"COFF\r\nCONSOLE"));
}

TEST(RewriteCommandLine, AppendsSwitchesInTheirFixedOrder) {
    EXPECT_EQ(L"x /MAPINFO:LINES", Rewrite(L"x", L"MAP_LINES"));
    EXPECT_EQ(L"x /MAP /MAPINFO:EXPORTS /MAPINFO:FIXUPS /MAPINFO:LINES",
              Rewrite(L"x", L"MAP-LINES\r\nMAP_FIXUPS\r\nMAP_EXPORTS\r\nMAP"));
    EXPECT_EQ(L"x /MAP /DEF:\"C:\\Work\\Tool.DEF\" /COMMENT:\"say \\\"hi\\\"\" "
              L"/STUB:\"C:\\Work\\stub\\dos.exe\"",
              Rewrite(L"x", L"STUB:stub\\dos.exe\r\nCOMMENT:say \"hi\"\r\nDEF\r\nMAP"));
    EXPECT_EQ(L"x /STUB:\"D:\\Stubs\\dos.exe\"", Rewrite(L"x", L"STUB:D:\\Stubs\\dos.exe"));
    EXPECT_EQ(L"x /COMMENT:\"Сборка\"", Rewrite(L"x", L"COMMENT:Сборка"));
    // Appended switches are not looked for first.
    EXPECT_EQ(L"x /MAP /MAP", Rewrite(L"x /MAP", L"MAP"));
    // Relocations for DYNAMICBASE, last, unless the line has a /FIXED switch of its own.
    EXPECT_EQ(L"x /MAP /STUB:\"D:\\s.exe\" /FIXED:NO",
              Rewrite(L"x", L"DYNAMICBASE\r\nSTUB:D:\\s.exe\r\nMAP"));
    for (const std::wstring own :
         {L"/FIXED", L"-fixed", L"/Fixed:NO", L"\"/FIXED:no\"", L"\t-FIXED:"})
        EXPECT_EQ(L"a " + own + L" b", Rewrite(L"a " + own + L" b", L"DYNAMICBASE"));
    for (const std::wstring other : {L"/FIXEDX", L"a/FIXED", L"/COMMENT:\"a /FIXED\"", L"/FIXE"})
        EXPECT_EQ(other + L" /FIXED:NO", Rewrite(other, L"DYNAMICBASE"));
}

// What the linker's C run-time makes of an argument: the inverse of the quoting under test.
std::vector<std::wstring> SplitLikeTheRunTime(const std::wstring& line) {
    std::vector<std::wstring> arguments;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == L' ' || line[i] == L'\t')) ++i;
        if (i == line.size()) break;
        std::wstring argument;
        bool quoted = false;
        for (; i < line.size() && (quoted || (line[i] != L' ' && line[i] != L'\t')); ++i) {
            size_t backslashes = 0;
            while (i < line.size() && line[i] == L'\\') ++backslashes, ++i;
            if (i < line.size() && line[i] == L'"') {
                argument.append(backslashes / 2, L'\\');
                if (backslashes % 2 == 1) {
                    argument += L'"';
                } else {
                    quoted = !quoted;
                }
            } else {
                argument.append(backslashes, L'\\');
                if (i == line.size()) break;
                argument += line[i];
            }
        }
        arguments.push_back(argument);
    }
    return arguments;
}

TEST(RewriteCommandLine, QuotesInValuesCannotBreakOutOfTheirArgument) {
    for (const std::wstring comment : {L"x\" /DEBUG /OUT:\"C:\\evil.exe", L"dir\\", L"a\\\"b",
                                       L"\\\\srv\\\"", L"\"", L"plain text"}) {
        const std::wstring line =
            Rewrite(L"/OUT:a.exe", L"COMMENT:" + comment + L"\r\nSTUB:D:\\s\"t\\");
        EXPECT_EQ(
            (std::vector<std::wstring>{L"/OUT:a.exe", L"/COMMENT:" + comment, L"/STUB:D:\\s\"t\\"}),
            SplitLikeTheRunTime(line))
            << line;
    }
    EXPECT_EQ(L"x /COMMENT:\"dir\\\\\"", Rewrite(L"x", L"COMMENT:dir\\"));
}

TEST(RewriteCommandLine, ADefinitionFileBesideARelativeOutputNamesItsFolderOnce) {
    const std::wstring line =
        RewriteCommandLine(L"x", Parse(L"DEF"), L"out\\Tool.DEF", L"out\\Tool.LinkConfig");
    const std::wstring def = line.substr(line.find(L"/DEF:\"") + 6);
    EXPECT_EQ(std::wstring::npos, def.find(L"out\\out")) << def;
    EXPECT_EQ(L"out\\Tool.DEF\"", def.substr(def.size() - 13)) << def;
    // Absolute, against the current folder.
#ifdef _WIN32
    EXPECT_EQ(L':', def[1]) << def;
#else
    EXPECT_EQ(L'/', def[0]) << def;
#endif
}

TEST(RewriteCommandLine, ResolvesTheDefinitionFileBesideTheConfiguration) {
    EXPECT_EQ(L"x /DEF:\"C:\\My Work\\Tool.DEF\"",
              RewriteCommandLine(L"x", Parse(L"DEF"), L"C:\\My Work\\Tool.DEF",
                                 L"C:\\My Work\\Tool.LinkConfig"));
    EXPECT_EQ(L"x /DEF:\"\\\\srv\\share\\out\\Tool.DEF\"",
              RewriteCommandLine(L"x", Parse(L"DEF"), L"\\\\srv\\share\\out\\Tool.DEF",
                                 L"\\\\srv\\share\\out\\Tool.LinkConfig"));
}

// Every combination of COMPRESS, NOSIGN, NOMANIFEST, MANIFEST, EMBED (bits 0-4) and library (5),
// then of the first five with one of the four image settings (6); steps: Embedded manifest, Image
// settings, Compress, Sign, Manifest file, Post build.
TEST(PostSteps, OneOrderedListFromTheOptions) {
    const char* expected[64] = {
        "SMP", "CSMP", "MP", "CMP", "SP", "CSP", "P", "CP", //
        "SMP", "CSMP", "MP", "CMP", "SP", "CSP", "P", "CP", //
        "ESP", "ECSP", "EP", "ECP", "SP", "CSP", "P", "CP", //
        "ESP", "ECSP", "EP", "ECP", "SP", "CSP", "P", "CP", //
        "SP",  "CSP",  "P",  "CP",  "SP", "CSP", "P", "CP", //
        "SMP", "CSMP", "MP", "CMP", "SP", "CSP", "P", "CP", //
        "SP",  "CSP",  "P",  "CP",  "SP", "CSP", "P", "CP", //
        "ESP", "ECSP", "EP", "ECP", "SP", "CSP", "P", "CP", //
    };
    const char* imaged[32] = {
        "ISMP", "ICSMP", "IMP", "ICMP", "ISP", "ICSP", "IP", "ICP", //
        "ISMP", "ICSMP", "IMP", "ICMP", "ISP", "ICSP", "IP", "ICP", //
        "EISP", "EICSP", "EIP", "EICP", "ISP", "ICSP", "IP", "ICP", //
        "EISP", "EICSP", "EIP", "EICP", "ISP", "ICSP", "IP", "ICP", //
    };
    const wchar_t* lines[] = {L"COMPRESS", L"NOSIGN", L"NOMANIFEST", L"MANIFEST", L"EMBED"};
    const wchar_t* image[] = {L"LARGEADDRESSAWARE", L"NXCOMPAT", L"DYNAMICBASE", L"TSAWARE"};
    for (int index = 0; index < 96; ++index) {
        std::wstring options;
        for (int bit = 0; bit < 5; ++bit)
            if (index & (1 << bit)) options += std::wstring(lines[bit]) + L"\r\n";
        if (index & 64) options += image[index % 4];
        std::string steps;
        for (auto step : modMain::PostSteps(Parse(options), index & 32))
            steps += "CSMEPI"[int(step)];
        EXPECT_EQ(index < 64 ? expected[index] : imaged[index - 64], steps) << index;
    }
}

namespace {

// Drives whole runs through the fakes with real files in a scratch folder.
class DriverTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fakes::Reset();
        folder = TestFolders::Fresh();
        exe = (folder / "Tool.exe").wstring();
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    void Touch(const char* name, const std::string& content = "") {
        std::ofstream(folder / name, std::ios::binary) << content;
    }
    // Runs the program as the environment would; returns the exit code it ended with.
    std::uint32_t Run(const std::wstring& arguments) {
        fakes::Get().CommandLine = L"\"C:\\Tools\\LINK.EXE\" " + arguments;
        try {
            modMain::CheckConfigAndRun();
            return kReturned;
        } catch (const fakes::ProcessEnded& ended) {
            return ended.ExitCode;
        }
    }
    std::vector<std::wstring> Launched() {
        std::vector<std::wstring> names;
        for (const auto& call : fakes::Get().Launches) {
            names.push_back(call.Program.substr(call.Program.find_last_of(L"\\/") + 1));
        }
        return names;
    }
    static constexpr std::uint32_t kReturned = 0x40000000; // marks a return from Main

    std::filesystem::path folder;
    std::wstring exe;
};

} // namespace

TEST_F(DriverTest, WithoutArgumentsShowsTheUsageAndStartsNothing) {
    EXPECT_EQ(kReturned, Run(L" \t "));
    ASSERT_EQ(1u, fakes::Get().Messages.size());
    EXPECT_EQ(modFormatVersion::csGetUsageHeader(false, false) +
                  L"\r\n\r\nПохоже, программа запущена сама по себе. Так она работать не будет. "
                  L"Внимательно прочитайте ReadMe.TXT - там содержатся инструкции по установке.",
              fakes::Get().Messages[0].Text);
    EXPECT_EQ(platform::Icon::Information, fakes::Get().Messages[0].Icon);
    EXPECT_TRUE(fakes::Get().Launches.empty());
}

TEST_F(DriverTest, WithoutAnOutputFileReportsItAndLinksUnchanged) {
    fakes::Get().LinkerExitCode = 3;
    EXPECT_EQ(3u, Run(L"a.obj /OUT:\"unclosed.exe  "));
    ASSERT_EQ(1u, fakes::Get().Messages.size());
    EXPECT_EQ(L"Не удалось получить имя компилируемого файла!\r\n\r\na.obj /OUT:\"unclosed.exe",
              fakes::Get().Messages[0].Text);
    EXPECT_EQ(platform::Icon::Error, fakes::Get().Messages[0].Icon);
    ASSERT_EQ(1u, fakes::Get().Launches.size());
    EXPECT_EQ(L"C:\\Tools\\LINK2.EXE", fakes::Get().Launches[0].Program);
    EXPECT_EQ(L"a.obj /OUT:\"unclosed.exe", fakes::Get().Launches[0].Arguments);
}

TEST_F(DriverTest, WithoutConfigurationPassesThroughAndRunsNoScript) {
    Touch("Tool.PreBuild.BAT");
    Touch("Tool.PostBuild.BAT");
    fakes::Get().LinkerExitCode = static_cast<std::int32_t>(0xC0000005);
    EXPECT_EQ(0xC0000005u, Run(L"/OUT:" + exe + L" /SUBSYSTEM:WINDOWS"));
    EXPECT_EQ(std::vector<std::wstring>{L"LINK2.EXE"}, Launched());
    EXPECT_EQ(L"/OUT:" + exe + L" /SUBSYSTEM:WINDOWS", fakes::Get().Launches[0].Arguments);
    EXPECT_FALSE(std::filesystem::exists(folder / "Tool.LinkLog"));
    EXPECT_TRUE(fakes::Get().Messages.empty());
}

TEST_F(DriverTest, ALinkerThatCannotStartEndsWithItsErrorNeverWithZero) {
    fakes::Get().LinkerStarts = false;
    fakes::Get().StartError = 2;
    EXPECT_EQ(2u, Run(L"/OUT:" + exe));
    fakes::Get().Launches.clear();
    fakes::Get().StartError = 0;
    EXPECT_EQ(1u, Run(L"/OUT:" + exe));
}

TEST_F(DriverTest, AConfiguredBuildRunsTheStepsInTheirOrderAroundTheLink) {
    Touch("Tool.LinkConfig", "CONSOLE\r\nCOMPRESS\r\n");
    for (const char* script :
         {"Tool.PreBuild.BAT", "Tool.Compress.BAT", "Tool.Sign.BAT", "Tool.PostBuild.BAT"}) {
        Touch(script);
    }
    EXPECT_EQ(0u, Run(L"/OUT:" + exe + L" /SUBSYSTEM:WINDOWS"));
    EXPECT_EQ((std::vector<std::wstring>{L"Tool.PreBuild.BAT", L"LINK2.EXE", L"Tool.Compress.BAT",
                                         L"Tool.Sign.BAT", L"Tool.PostBuild.BAT"}),
              Launched());
    const auto& calls = fakes::Get().Launches;
    EXPECT_EQ(L"/OUT:" + exe + L" /SUBSYSTEM:CONSOLE", calls[1].Arguments);
    EXPECT_EQ(exe, calls[0].Arguments);
    EXPECT_EQ(L"Vexmor Pre Build.TXT", calls[0].CaptureName);
    EXPECT_EQ(L"Во время выполнения pre build произошли ошибки.", calls[0].FailureText);
    EXPECT_EQ(L"Vexmor Compress.TXT", calls[2].CaptureName);
    EXPECT_EQ(L"Во время сжатия произошли ошибки.", calls[2].FailureText);
    EXPECT_EQ(L"Vexmor Sign.TXT", calls[3].CaptureName);
    EXPECT_EQ(L"Во время подписывания произошли ошибки.", calls[3].FailureText);
    EXPECT_EQ(L"Vexmor Post Build.TXT", calls[4].CaptureName);
    EXPECT_EQ(L"Во время выполнения post build скрипта произошли ошибки.", calls[4].FailureText);
    EXPECT_TRUE(std::filesystem::exists(folder / "Tool.LinkLog"));
}

TEST_F(DriverTest, AFailedLinkSkipsThePostLinkStepsAndPassesItsExitCodeOn) {
    Touch("Tool.LinkConfig");
    Touch("Tool.PreBuild.BAT");
    Touch("Tool.Sign.BAT");
    Touch("Tool.PostBuild.BAT");
    fakes::Get().LinkerExitCode = 1;
    EXPECT_EQ(1u, Run(L"/OUT:" + exe));
    EXPECT_EQ((std::vector<std::wstring>{L"Tool.PreBuild.BAT", L"LINK2.EXE"}), Launched());
}

TEST_F(DriverTest, SharedScriptsStandInOnlyForMissingProjectScripts) {
    Touch("Tool.LinkConfig", "COMPRESS");
    Touch("Tool.Compress.BAT");
    fakes::Get().ProgramFolder = folder.wstring() + L"/"; // the shared scripts sit here too
    Touch("Vexmor Compress.BAT");
    Touch("Vexmor Sign.BAT");
    EXPECT_EQ(0u, Run(L"/OUT:" + exe));
    EXPECT_EQ((std::vector<std::wstring>{L"LINK2.EXE", L"Tool.Compress.BAT", L"Vexmor Sign.BAT"}),
              Launched());

    fakes::Get().Launches.clear();
    Touch("Tool.LinkConfig", "NOSIGN");
    EXPECT_EQ(0u, Run(L"/OUT:" + exe));
    EXPECT_EQ((std::vector<std::wstring>{L"LINK2.EXE"}), Launched());
}

// Inside the environment the program shows the files and the lines it works with, and it never
// ends the process, which is the environment's own.
TEST_F(DriverTest, InsideTheEnvironmentItShowsItsFilesAndLinesAndNeverEndsTheProcess) {
#ifdef _WIN32
    GTEST_SKIP() << "only the native fakes can put the program inside the environment";
#endif
    fakes::Get().InIDE = true;
    fakes::Get().LinkerExitCode = 3;
    Touch("Tool.LinkConfig", "CONSOLE");
    const std::wstring line = L"/OUT:" + exe + L" /SUBSYSTEM:WINDOWS";
    EXPECT_EQ(kReturned, Run(line));
    const std::wstring base = exe.substr(0, exe.size() - 4);
    std::wstring listing = exe + L"\r\n";
    for (const wchar_t* suffix : {L".LinkConfig", L".LinkLog", L".DEF", L".Compress.BAT",
                                  L".Sign.BAT", L".PreBuild.BAT", L".PostBuild.BAT"}) {
        listing += base + suffix + L"\r\n";
    }
    listing += exe + L".manifest\r\n\r\n" + line;
    const auto& shown = fakes::Get().Messages;
    ASSERT_EQ(2u, shown.size());
    EXPECT_EQ(listing, shown[0].Text);
    EXPECT_EQ(L"/OUT:" + exe + L" /SUBSYSTEM:CONSOLE", shown[1].Text);
    EXPECT_EQ(platform::Icon::Information, shown[0].Icon);
    EXPECT_EQ(platform::Icon::Information, shown[1].Icon);

    fakes::Get().LinkerStarts = false; // nor does a linker that cannot start
    EXPECT_EQ(kReturned, Run(line));
}

TEST_F(DriverTest, AFolderNamedLikeTheConfigurationIsNoConfiguration) {
    std::filesystem::create_directories(folder / "Tool.LinkConfig" / "x");
    Touch("Tool.LinkLog", "earlier log");
    Touch("Tool.PreBuild.BAT");
    // A plain pass-through: no step, no message, the earlier log untouched.
    EXPECT_EQ(0u, Run(L"/OUT:" + exe + L" /DEBUGTYPE:CV"));
    EXPECT_EQ(std::vector<std::wstring>{L"LINK2.EXE"}, Launched());
    EXPECT_TRUE(fakes::Get().Messages.empty());
    std::ifstream log(folder / "Tool.LinkLog");
    EXPECT_EQ("earlier log", std::string(std::istreambuf_iterator<char>(log), {}));
}

TEST_F(DriverTest, AnUnexpectedErrorIsShownWithItsNumberAndNeverEndsWithZero) {
    EXPECT_EQ(5, modMain::ReportUnexpectedError(5, L"Недопустимый аргумент."));
    EXPECT_EQ(1, modMain::ReportUnexpectedError(0, L"x"));
    EXPECT_EQ(static_cast<int>(0x80040000u), modMain::ReportUnexpectedError(0x80040000u, L"y"));
    ASSERT_EQ(3u, fakes::Get().Messages.size());
    EXPECT_EQ(L"Произошла непредвиденная ошибка.\r\n\r\nError number: 5\r\nDescription: "
              L"Недопустимый аргумент.",
              fakes::Get().Messages[0].Text);
    EXPECT_EQ(platform::Icon::Error, fakes::Get().Messages[0].Icon);
    EXPECT_NE(std::wstring::npos, fakes::Get().Messages[2].Text.find(L"Error number: 0x80040000"));
}

TEST_F(DriverTest, TheManifestStepFollowsTheDecisionTable) {
    FileVersionRecord record;
    record.Major = 1;
    record.Description = L"Tool";
    fakes::Get().Versions[exe] = record;
    const auto manifest = folder / "Tool.exe.manifest";
    struct Case {
        const char* options;
        bool library;
        bool written;
    } cases[] = {
        {"", false, true},
        {"NOMANIFEST", false, false},
        {"MANIFEST", false, true},
        {"", true, false},
        {"MANIFEST", true, true},
        {"MANIFEST\r\nNOMANIFEST", true, false},
        {"NOMANIFEST\r\nMANIFEST", false, false},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(manifest);
        Touch("Tool.LinkConfig", c.options);
        EXPECT_EQ(0u, Run(L"/OUT:" + exe + (c.library ? L" /DLL" : L"") + L" x.obj"));
        EXPECT_EQ(c.written, std::filesystem::exists(manifest)) << c.options << " " << c.library;
    }
    // A failed link writes none.
    std::filesystem::remove(manifest);
    Touch("Tool.LinkConfig", "MANIFEST");
    fakes::Get().LinkerExitCode = 1;
    EXPECT_EQ(1u, Run(L"/OUT:" + exe));
    EXPECT_FALSE(std::filesystem::exists(manifest));
    EXPECT_TRUE(fakes::Get().Messages.empty());
}

TEST_F(DriverTest, ALineTooLongForThePlatformGoesToTheLinkerInAResponseFile) {
    Touch("Tool.LinkConfig", "NOMANIFEST\r\nCOMMENT:" + std::string(40000, 'c'));
    const std::wstring configured =
        L"/OUT:" + exe + L" /COMMENT:\"" + std::wstring(40000, L'c') + L"\"";
    const std::wstring plain =
        L"/OUT:" + folder.wstring() + L"/Plain.exe " + std::wstring(40000, L'p');
    for (const std::wstring& line : {configured, plain}) {
        fakes::Get().Launches.clear();
        const std::wstring given = line == configured ? L"/OUT:" + exe : line;
        EXPECT_EQ(0u, Run(given));
        ASSERT_EQ(1u, fakes::Get().Launches.size());
        const auto& call = fakes::Get().Launches[0];
        ASSERT_TRUE(call.ResponseFile) << "no response file given to the linker";
        EXPECT_EQ(platform::ToAnsi(line), *call.ResponseFile);
        const std::wstring file = call.Arguments.substr(2, call.Arguments.size() - 3);
        EXPECT_EQ(0u, file.rfind(QZVSP0100B::GetTempFolder() + L"Vexmor Link ", 0));
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(file))) << "left behind";
    }
    // One character short of the limit still goes on the command line itself.
    fakes::Get().Launches.clear();
    const std::wstring linker = L"C:\\Tools\\LINK2.EXE";
    const std::wstring longest(32767 - 1 - linker.size() - 3, L'a');
    EXPECT_EQ(0u, Run(longest));
    ASSERT_EQ(1u, fakes::Get().Launches.size());
    EXPECT_EQ(longest, fakes::Get().Launches[0].Arguments);
    EXPECT_FALSE(fakes::Get().Launches[0].ResponseFile);
    EXPECT_EQ(1u, fakes::Get().Messages.size()); // "no output file", nothing else
}

TEST_F(DriverTest, ALongLineThatTheCodePageCannotHoldStopsBeforeTheLink) {
    // A UTF-8 option file with a character no ANSI code page of the stand-in platform has.
    Touch("Tool.LinkConfig", "\xEF\xBB\xBF"
                             "COMMENT:" +
                                 std::string(40000, 'c') + "\xE2\x98\x83");
    EXPECT_EQ(1113u, Run(L"/OUT:" + exe));
    EXPECT_TRUE(fakes::Get().Launches.empty());
    ASSERT_EQ(1u, fakes::Get().Messages.size());
    const auto& box = fakes::Get().Messages[0];
    EXPECT_EQ(0u, box.Text.rfind(L"C:\\Tools\\LINK2.EXE\r\n\r\nНе удалось запустить.\r\n\r\n"
                                 L"Win32 error: 1113\r\nDescription: Командная строка компоновщика "
                                 L"длиннее 32766 знаков",
                                 0))
        << platform::ToAnsi(box.Text);
    EXPECT_EQ(platform::Icon::Error, box.Icon);
}

TEST_F(DriverTest, AFailedConversionWritesNoEmptyLogNorResponseFileAndSaysSo) {
#ifdef _WIN32
    GTEST_SKIP() << "only the native stand-in fails to convert U+FFFF";
#endif
    // U+FFFF: a text the stand-in platform fails to convert. Short, then past the limit.
    for (size_t length : {10, 40000}) {
        fakes::Reset();
        Touch("Tool.LinkLog", "earlier");
        Touch("Tool.LinkConfig",
              "\xEF\xBB\xBFNOMANIFEST\r\nCOMMENT:\xEF\xBF\xBF" + std::string(length, 'c'));
        EXPECT_EQ(length > 10 ? 87u : 0u, Run(L"/OUT:" + exe));
        std::ifstream log(folder / "Tool.LinkLog");
        EXPECT_EQ("earlier", std::string(std::istreambuf_iterator<char>(log), {}));
        EXPECT_EQ(length > 10 ? 0u : 1u, fakes::Get().Launches.size()); // no empty response file
        ASSERT_EQ(length > 10 ? 2u : 1u, fakes::Get().Messages.size());
        EXPECT_EQ(0u, fakes::Get().Messages[0].Text.rfind(L"Не удалось записать журнал сборки\r\n" +
                                                              (folder / "Tool.LinkLog").wstring() +
                                                              L"\r\n\r\nError number: 87\r\n"
                                                              L"Description: Не удалось перевести",
                                                          0));
    }
}

TEST_F(DriverTest, AnErrorNobodyHandledEndsMainWithItsNumberAfterABox) {
    fakes::Get().CommandLine = L"LINK.EXE /OUT:" + exe + L" x.obj";
    fakes::Get().LaunchFails = AppError(0x80070005u, L"Отказано в доступе.");
    EXPECT_EQ(static_cast<int>(0x80070005u), modMain::Main());
    ASSERT_EQ(1u, fakes::Get().Messages.size());
    EXPECT_EQ(L"Произошла непредвиденная ошибка.\r\n\r\nError number: 0x80070005\r\n"
              L"Description: Отказано в доступе.",
              fakes::Get().Messages[0].Text);
    EXPECT_EQ(platform::Icon::Error, fakes::Get().Messages[0].Icon);
    EXPECT_TRUE(fakes::Get().Launches.empty());
}
