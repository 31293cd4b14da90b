#include "config/modConfig.h"

#include "Fakes.h"
#include "TestFolders.h"
#include "context/BuildContext.h"
#include "platform/AnsiFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using modConfig::ExtractEXEFileName;
using modConfig::ExtractIsDLL;

TEST(ExtractEXEFileName, TakesTheNameAfterTheFirstOutSwitch) {
    EXPECT_EQ(L"C:\\My Projects\\Tool.exe",
              ExtractEXEFileName(L"/NOLOGO /OUT:\"C:\\My Projects\\Tool.exe\" /DEBUG"));
    EXPECT_EQ(L"C:\\Work\\Tool.exe", ExtractEXEFileName(L"a.obj /out:C:\\Work\\Tool.exe /DEBUG"));
    EXPECT_EQ(L"C:\\Work\\Tool.exe", ExtractEXEFileName(L"/OuT:C:\\Work\\Tool.exe"));
    EXPECT_EQ(L"Tool.exe", ExtractEXEFileName(L"/OUT:Tool.exe\t/DEBUG"));
    EXPECT_EQ(L"first.exe", ExtractEXEFileName(L"/OUT:first.exe /OUT:second.exe"));
    EXPECT_EQ(L"C:\\Мои\\Тул.exe", ExtractEXEFileName(L"/OUT:\"C:\\Мои\\Тул.exe\""));
    EXPECT_EQ(L"C:\\My Project\\App.exe",
              ExtractEXEFileName(L"a \"/out:C:\\My Project\\App.exe\" b"));
    // Inside another argument it still counts: the first occurrence wins.
    EXPECT_EQ(L"x.exe\"", ExtractEXEFileName(L"\"/LIBPATH:C:\\a/OUT:x.exe\" /OUT:y.exe"));
}

TEST(ExtractEXEFileName, GivesNothingWithoutAUsableName) {
    for (const wchar_t* line :
         {L"", L"/DEBUG /NOLOGO", L"/OUT:", L"a.obj /OUT:", L"/OUT:\"C:\\My Projects\\Tool.exe",
          L"/OUT:\"\"", L"/OUT:\"", L"/OUT: Tool.exe", L"/OU:Tool.exe", L"\"/OUT:C:\\My Project",
          L"\"/OUT:\""}) {
        EXPECT_EQ(L"", ExtractEXEFileName(line)) << line;
    }
}

TEST(ExtractIsDLL, CountsAWholeArgumentAnywhereBareOrInQuotes) {
    EXPECT_TRUE(ExtractIsDLL(L"/OUT:a.dll /DLL /DEBUG"));
    EXPECT_TRUE(ExtractIsDLL(L"/OUT:a.dll /dll /DEBUG"));
    EXPECT_TRUE(ExtractIsDLL(L"/OUT:a.dll\t/DLL\t/DEBUG"));
    EXPECT_TRUE(ExtractIsDLL(L"x /DLLX /DLL y"));
    EXPECT_TRUE(ExtractIsDLL(L"/OUT:a.dll /DEBUG /DLL"));
    EXPECT_TRUE(ExtractIsDLL(L"/DLL /OUT:a.dll"));
    EXPECT_TRUE(ExtractIsDLL(L"a \"/dll\" b"));
    EXPECT_FALSE(ExtractIsDLL(L"/OUT:x/DLL /DLLX \"/DLL b /DLL\""));
    EXPECT_FALSE(ExtractIsDLL(L""));
}

TEST(DeriveFileNames, PutsEveryFileBesideTheOutput) {
    BuildContext context;
    context.ExeFileName = L"C:\\Work\\Tool.dll";
    DeriveFileNames(context);
    EXPECT_EQ(L"C:\\Work\\Tool.LinkConfig", context.ConfigFileName);
    EXPECT_EQ(L"C:\\Work\\Tool.LinkLog", context.LogFileName);
    EXPECT_EQ(L"C:\\Work\\Tool.DEF", context.DefFileName);
    EXPECT_EQ(L"C:\\Work\\Tool.Compress.BAT", context.CompressBatFileName);
    EXPECT_EQ(L"C:\\Work\\Tool.Sign.BAT", context.SignBatFileName);
    EXPECT_EQ(L"C:\\Work\\Tool.PreBuild.BAT", context.PreBuildBatFileName);
    EXPECT_EQ(L"C:\\Work\\Tool.PostBuild.BAT", context.PostBuildBatFileName);
    EXPECT_EQ(L"C:\\Work\\Tool.dll.manifest", context.ManifestFileName);
}

class ReadConfigFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fakes::Reset();
        folder = TestFolders::Fresh();
        context.ConfigFileName = (folder / "Tool.LinkConfig").wstring();
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    void Write(const std::string& bytes) {
        std::ofstream(folder / "Tool.LinkConfig", std::ios::binary) << bytes;
    }
    std::filesystem::path folder;
    BuildContext context;
};

TEST_F(ReadConfigFileTest, ReadsTheOptionsIncludingALastLineWithoutLineBreak) {
    Write("# settings\r\nCONSOLE\r\nCOMMENT:caf\xE9");
    auto config = modConfig::ReadConfigFile(context);
    ASSERT_TRUE(config);
    EXPECT_TRUE(config->SET_CONSOLE());
    EXPECT_TRUE(config->SET_SIGN());
    EXPECT_EQ(platform::FromAnsi("caf\xE9"), config->SET_COMMENT());
    EXPECT_TRUE(fakes::Get().Messages.empty());
}

TEST_F(ReadConfigFileTest, AZeroByteFileIsAnEmptyConfiguration) {
    Write("");
    auto config = modConfig::ReadConfigFile(context);
    ASSERT_TRUE(config);
    EXPECT_TRUE(config->SET_SIGN());
    EXPECT_TRUE(fakes::Get().Messages.empty());
}

TEST_F(ReadConfigFileTest, AnUnreadableFileIsReportedAndGivesNoConfiguration) {
    context.ConfigFileName = (folder / "Missing.LinkConfig").wstring();
    EXPECT_FALSE(modConfig::ReadConfigFile(context));
    ASSERT_EQ(1u, fakes::Get().Messages.size());
    EXPECT_EQ(context.ConfigFileName + L"\r\n\r\nНе удаётся прочитать файл настроек!",
              fakes::Get().Messages[0].Text);
    EXPECT_EQ(platform::Icon::Error, fakes::Get().Messages[0].Icon);
}

TEST_F(ReadConfigFileTest, FilesSavedAsUnicodeKeepTheirFirstOptionAndTheirLetters) {
    // "CONSOLE", "COMMENT:Сб" in UTF-8 after its mark, and in both UTF-16 byte orders.
    Write("\xEF\xBB\xBF"
          "CONSOLE\r\nCOMMENT:\xD0\xA1\xD0\xB1");
    auto config = modConfig::ReadConfigFile(context);
    ASSERT_TRUE(config);
    EXPECT_TRUE(config->SET_CONSOLE());
    EXPECT_EQ(L"Сб", config->SET_COMMENT());

    const std::wstring text = L"CONSOLE\r\nCOMMENT:Сб";
    std::string little = "\xFF\xFE", big = "\xFE\xFF";
    for (wchar_t c : text) {
        little += static_cast<char>(c & 0xFF);
        little += static_cast<char>(c >> 8);
        big += static_cast<char>(c >> 8);
        big += static_cast<char>(c & 0xFF);
    }
    for (const std::string& bytes : {little, big}) {
        Write(bytes);
        config = modConfig::ReadConfigFile(context);
        ASSERT_TRUE(config);
        EXPECT_TRUE(config->SET_CONSOLE());
        EXPECT_EQ(L"Сб", config->SET_COMMENT());
    }
    EXPECT_TRUE(fakes::Get().Messages.empty()) << "no warning about a mark taken for an option";
}

TEST(DecodeConfigText, WithoutAMarkTheTextStaysInTheCodePage) {
    EXPECT_EQ(platform::FromAnsi("CONSOLE\nCOFF\xE9"),
              modConfig::DecodeConfigText("CONSOLE\nCOFF\xE9"));
    // A mark alone is an empty text; a mark of another kind is no mark.
    EXPECT_EQ(L"", modConfig::DecodeConfigText("\xEF\xBB\xBF"));
    EXPECT_EQ(platform::FromAnsi("\xEF\xBB"), modConfig::DecodeConfigText("\xEF\xBB"));
}

TEST(DecodeConfigText, BrokenSequencesBecomeReplacementCharacters) {
    using modConfig::DecodeConfigText;
    EXPECT_EQ(L"a\uFFFD\uFFFDb", DecodeConfigText("\xEF\xBB\xBF"
                                                  "a\xC0\x80"
                                                  "b")); // overlong
    EXPECT_EQ(L"a\uFFFD\uFFFDb", DecodeConfigText("\xEF\xBB\xBF"
                                                  "a\xC0\xAF"
                                                  "b"));
    EXPECT_EQ(L"\uFFFD", DecodeConfigText("\xEF\xBB\xBF\xED\xA0\x80")); // a surrogate
    EXPECT_EQ(L"x\uFFFD", DecodeConfigText("\xEF\xBB\xBF"
                                           "x\xE2\x82"));                       // cut short
    EXPECT_EQ(L"\U0001F600", DecodeConfigText("\xEF\xBB\xBF\xF0\x9F\x98\x80")); // past 16 bits
    EXPECT_EQ(L"A\uFFFD", DecodeConfigText(std::string("\xFF\xFE"
                                                       "A\0B",
                                                       5))); // odd byte
    EXPECT_EQ(L"\uFFFDA", DecodeConfigText(std::string("\xFF\xFE\x00\xDC"
                                                       "A\0",
                                                       6)));
}
