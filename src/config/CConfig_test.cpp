#include "config/CConfig.h"

#include "Fakes.h"
#include "TestFolders.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

namespace {

class CConfigTest : public ::testing::Test {
  protected:
    void SetUp() override { fakes::Reset(); }
    std::vector<std::wstring> Warnings() {
        std::vector<std::wstring> texts;
        for (const auto& m : fakes::Get().Messages) {
            EXPECT_EQ(platform::Icon::Warning, m.Icon);
            EXPECT_EQ(platform::Buttons::Ok, m.Buttons);
            texts.push_back(m.Text);
        }
        return texts;
    }
    static std::wstring Warning(const std::wstring& upper) {
        return L"В конфиге обнаружена неизвестная опция!\r\n\r\n" + upper;
    }
    CConfig config;
};

void ExpectDefaults(const CConfig& c) {
    EXPECT_FALSE(c.SET_CONSOLE() || c.SET_COFF() || c.SET_COMPRESS() || c.SET_MANIFEST() ||
                 c.SET_NOMANIFEST() || c.SET_ADMIN() || c.SET_MAP() || c.SET_MAP_EXPORTS() ||
                 c.SET_MAP_LINES() || c.SET_MAP_FIXUPS() || c.SET_DEF() || c.SET_NOHIDPI() ||
                 c.SET_ASINVOKER() || c.SET_HIGHESTAVAILABLE() || c.SET_SUPPORTEDOS() ||
                 c.SET_GDISCALING() || c.SET_LONGPATHS() || c.SET_UTF8());
    EXPECT_EQ(DpiMode::PerMonitorV2, c.SET_DPI());
    EXPECT_TRUE(c.SET_SIGN());
    EXPECT_EQ(L"", c.SET_COMMENT());
    EXPECT_EQ(L"", c.SET_STUB());
    EXPECT_TRUE(c.SET_REF().empty());
}

} // namespace

TEST_F(CConfigTest, EmptyBlankAndCommentTextsGiveTheDefaults) {
    for (const wchar_t* text :
         {L"", L"\r\n", L"  \r\n\t\r\n", L"# CONSOLE\r\n  #MAP", L"x-console\r\nX-MAP"}) {
        ASSERT_TRUE(config.Init(text));
        ExpectDefaults(config);
    }
    EXPECT_TRUE(Warnings().empty());
}

TEST_F(CConfigTest, EveryKeywordInAnyCaseAndWithBlanksSetsItsValue) {
    ASSERT_TRUE(
        config.Init(L"console\r\n  CoFf \r\n\tCOMPRESS\r\nnosign\r\nManifest\r\nNOMANIFEST\r\n"
                    L"admin\r\nmap\r\nmap_exports\r\nMAP-LINES\r\nmap-fixups\r\nDEF\r\nNoHiDpi\r\n"
                    L"largeAddressAware\r\n NXCOMPAT\r\nDynamicBase\t\r\ntsaware"));
    EXPECT_TRUE(config.SET_CONSOLE() && config.SET_COFF() && config.SET_COMPRESS() &&
                config.SET_MANIFEST() && config.SET_NOMANIFEST() && config.SET_ADMIN() &&
                config.SET_MAP() && config.SET_MAP_EXPORTS() && config.SET_MAP_LINES() &&
                config.SET_MAP_FIXUPS() && config.SET_DEF() && config.SET_NOHIDPI() &&
                config.SET_LARGEADDRESSAWARE() && config.SET_NXCOMPAT() &&
                config.SET_DYNAMICBASE() && config.SET_TSAWARE());
    EXPECT_FALSE(config.SET_SIGN());
    EXPECT_TRUE(Warnings().empty());
}

TEST_F(CConfigTest, SettingsForTodaysWindowsAndTheLastKnownDpiValue) {
    ASSERT_TRUE(config.Init(L"asinvoker\r\n HighestAvailable\r\nSUPPORTEDOS\r\ngdiScaling\r\n"
                            L"LongPaths\r\nutf8\r\n dpi: system\t\r\nDPI:per monitor\r\nDPI:"));
    EXPECT_TRUE(config.SET_ASINVOKER() && config.SET_HIGHESTAVAILABLE() &&
                config.SET_SUPPORTEDOS() && config.SET_GDISCALING() && config.SET_LONGPATHS() &&
                config.SET_UTF8());
    EXPECT_EQ(DpiMode::System, config.SET_DPI());
    EXPECT_EQ((std::vector<std::wstring>{Warning(L"DPI:PER MONITOR"), Warning(L"DPI:")}),
              Warnings());
    ASSERT_TRUE(config.Init(L"DPI:System\r\nDpi:PerMonitorV2\r\nX-DPI:SYSTEM"));
    EXPECT_EQ(DpiMode::PerMonitorV2, config.SET_DPI());
}

// The example file shipped with the program: every line a comment, and among them every line the
// parser knows (the sentences about them are none), each in its main spelling.
TEST_F(CConfigTest, TheExampleFileListsEveryOptionLineCommentedOut) {
    std::ifstream in(TestFolders::ProgramFolder() / "Example.LinkConfig");
    std::set<std::wstring> listed;
    for (std::string line; std::getline(in, line);) {
        EXPECT_EQ('#', line.c_str()[0]) << line;
        if (line.rfind("# ", 0) != 0) continue;
        const std::wstring option(line.begin() + 2, line.end());
        const size_t warned = fakes::Get().Messages.size();
        if (config.Init(option) && fakes::Get().Messages.size() == warned)
            listed.insert(option.substr(0, option.find(L':') + (option.find(L':') != option.npos)));
    }
    const std::vector<std::wstring> keywords = CConfig::Keywords();
    EXPECT_EQ(std::set<std::wstring>(keywords.begin(), keywords.end()), listed);
}

TEST_F(CConfigTest, BothMapSpellingsWorkOtherSpellingsWarn) {
    ASSERT_TRUE(config.Init(L"MAP_LINES\r\nMAP-EXPORTS\r\nMAP_FIXUPS"));
    EXPECT_TRUE(config.SET_MAP_LINES() && config.SET_MAP_EXPORTS() && config.SET_MAP_FIXUPS());
    EXPECT_FALSE(config.SET_MAP());
    ASSERT_TRUE(config.Init(L"MAP LINES\r\nmaplines"));
    EXPECT_FALSE(config.SET_MAP_LINES());
    EXPECT_EQ((std::vector<std::wstring>{Warning(L"MAP LINES"), Warning(L"MAPLINES")}), Warnings());
}

TEST_F(CConfigTest, UnknownLinesWarnOnceEachInOrderAndOtherLinesStillWork) {
    ASSERT_TRUE(config.Init(L"Console # the console\r\nCOFF\r\nfrobnicate\r\nкомментарий\r\nMAP"));
    EXPECT_EQ((std::vector<std::wstring>{Warning(L"CONSOLE # THE CONSOLE"), Warning(L"FROBNICATE"),
                                         Warning(L"КОММЕНТАРИЙ")}),
              Warnings());
    EXPECT_FALSE(config.SET_CONSOLE());
    EXPECT_TRUE(config.SET_COFF() && config.SET_MAP());
}

TEST_F(CConfigTest, ValueOptionsKeepTheirCaseAndTheLastCommentAndStubWin) {
    ASSERT_TRUE(config.Init(L"comment:  First text \r\ncOMMENT:\tSecond Текст \t\r\n"
                            L"STUB: first.exe\r\nstub:Stubs\\Dos Stub.EXE  "));
    EXPECT_EQ(L"Second Текст", config.SET_COMMENT());
    EXPECT_EQ(L"Stubs\\Dos Stub.EXE", config.SET_STUB());
    ASSERT_TRUE(config.Init(L"COMMENT:x\r\nCOMMENT:\r\nSTUB:   "));
    EXPECT_EQ(L"", config.SET_COMMENT());
    EXPECT_EQ(L"", config.SET_STUB());
}

TEST_F(CConfigTest, ReferencesKeepOrderRepeatsAndEmptyEntries) {
    ASSERT_TRUE(
        config.Init(L"REF: a\\One.manifest\r\nref:Two.manifest\r\nREF:a\\One.manifest\r\nREF:"));
    EXPECT_EQ(
        (std::vector<std::wstring>{L"a\\One.manifest", L"Two.manifest", L"a\\One.manifest", L""}),
        config.SET_REF());
}

TEST_F(CConfigTest, ComponentsKeepOrderRepeatsAndWhetherTheirRegistrationIsCaptured) {
    ASSERT_TRUE(
        config.Init(L"com: Controls\\Grid.ocx \r\nCOMTLB:\"Shared Lib.dll\"\r\nCom:Grid.ocx"));
    ASSERT_EQ(3u, config.SET_COM().size());
    EXPECT_EQ(L"Controls\\Grid.ocx", config.SET_COM()[0].File);
    EXPECT_EQ(L"\"Shared Lib.dll\"", config.SET_COM()[1].File);
    EXPECT_EQ(L"Grid.ocx", config.SET_COM()[2].File);
    EXPECT_TRUE(config.SET_COM()[0].CaptureRegistration && config.SET_COM()[2].CaptureRegistration);
    EXPECT_FALSE(config.SET_COM()[1].CaptureRegistration);
    EXPECT_TRUE(Warnings().empty());
}

TEST_F(CConfigTest, OnlyCrLfSeparatesLines) {
    ASSERT_TRUE(config.Init(L"CONSOLE\nCOFF\nMAP"));
    EXPECT_EQ((std::vector<std::wstring>{Warning(L"CONSOLE\nCOFF\nMAP")}), Warnings());
    EXPECT_FALSE(config.SET_CONSOLE() || config.SET_COFF() || config.SET_MAP());

    fakes::Reset();
    ASSERT_TRUE(config.Init(L"# remark\nCONSOLE\nCOFF"));
    ASSERT_TRUE(config.Init(L"X-MAP\rCONSOLE"));
    EXPECT_TRUE(Warnings().empty());
    EXPECT_FALSE(config.SET_CONSOLE());
}

TEST_F(CConfigTest, InitStartsAgainFromTheDefaults) {
    ASSERT_TRUE(config.Init(L"NOSIGN\r\nCONSOLE\r\nREF:x\r\nCOMMENT:c"));
    ASSERT_TRUE(config.Init(L"MAP"));
    EXPECT_TRUE(config.SET_MAP());
    EXPECT_TRUE(config.SET_SIGN());
    EXPECT_FALSE(config.SET_CONSOLE());
    EXPECT_TRUE(config.SET_REF().empty());
    EXPECT_EQ(L"", config.SET_COMMENT());
}
