#include "log/modLog.h"

#include "Fakes.h"
#include "TestFolders.h"
#include "context/BuildContext.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ModLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = TestFolders::Fresh();
        context.ExeFileName = (folder / "Tool.exe").wstring();
        DeriveFileNames(context);
        // Start every test with an empty collection.
        context.LogFileName = (folder / "scratch.LinkLog").wstring();
        modLog::LogFlush(context);
        DeriveFileNames(context);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

    std::filesystem::path folder;
    BuildContext context;
};

} // namespace

TEST_F(ModLogTest, ItemsAreCaptionLineValueAndEmptyLine) {
    modLog::LogItem(L"Caption", L"");
    EXPECT_EQ(L"", modLog::LogText());
    modLog::LogItem(L"Caption", L"value");
    modLog::LogItem(L"", L"two\r\nlines");
    EXPECT_EQ(L"Caption:\r\nvalue\r\n\r\n\r\ntwo\r\nlines\r\n\r\n", modLog::LogText());
}

TEST_F(ModLogTest, FileLinesMarkExistingFilesOnly) {
    std::ofstream(folder / "Tool.exe") << "x";
    std::filesystem::create_directories(folder / "Tool.DEF"); // a folder is not a file
    EXPECT_EQ(L"[*] " + context.ExeFileName, modLog::GetFileLine(context.ExeFileName));
    EXPECT_EQ(L"[ ] " + context.DefFileName, modLog::GetFileLine(context.DefFileName));
    EXPECT_EQ(L"[ ] relative\\Name.txt", modLog::GetFileLine(L"relative\\Name.txt"));
}

TEST_F(ModLogTest, TheWrittenLogHoldsTheFifteenLinesWithoutATrailingBreak) {
    std::ofstream(folder / "Tool.LinkConfig") << "";
    std::ofstream(folder / "Tool.PreBuild.BAT") << "@echo off";
    const std::string exe = Narrow(context.ExeFileName);
    const std::string d = exe.substr(0, exe.size() - std::string("Tool.exe").size());
    modLog::LogItem(L"Initial command line", L"/OUT:x.exe /SUBSYSTEM:WINDOWS");
    modLog::LogFiles(context);
    modLog::LogItem(L"Modified command line", L"/OUT:x.exe /SUBSYSTEM:CONSOLE");
    modLog::LogFlush(context);

    EXPECT_EQ("Initial command line:\r\n/OUT:x.exe /SUBSYSTEM:WINDOWS\r\n\r\n"
              "File names:\r\n"
              "[ ] " +
                  d +
                  "Tool.exe\r\n"
                  "[*] " +
                  d +
                  "Tool.LinkConfig\r\n"
                  "[ ] " +
                  d +
                  "Tool.LinkLog\r\n"
                  "[ ] " +
                  d +
                  "Tool.DEF\r\n"
                  "[ ] " +
                  d +
                  "Tool.Compress.BAT\r\n"
                  "[ ] " +
                  d +
                  "Tool.Sign.BAT\r\n"
                  "[*] " +
                  d +
                  "Tool.PreBuild.BAT\r\n"
                  "[ ] " +
                  d +
                  "Tool.PostBuild.BAT\r\n"
                  "\r\n"
                  "Modified command line:\r\n/OUT:x.exe /SUBSYSTEM:CONSOLE",
              ReadBytes(folder / "Tool.LinkLog"));
    EXPECT_EQ(L"", modLog::LogText());
}

TEST_F(ModLogTest, NotesRewriteTheLogOnceWithALastSectionAndNoNotesLeaveIt) {
    modLog::LogItem(L"Modified command line", L"/OUT:x.exe");
    modLog::LogFlush(context);
    modLog::WriteNotes(context, L"Manifest notes");
    EXPECT_EQ("Modified command line:\r\n/OUT:x.exe", ReadBytes(folder / "Tool.LinkLog"));
    modLog::AddNote(L"first note");
    modLog::AddNote(L"second note");
    modLog::WriteNotes(context, L"Manifest notes");
    modLog::AddNote(L"third note"); // another step's, in a section of its own after the first
    modLog::WriteNotes(context, L"Image settings notes");
    EXPECT_EQ("Modified command line:\r\n/OUT:x.exe\r\n\r\nManifest notes:\r\nfirst note\r\n"
              "second note\r\n\r\nImage settings notes:\r\nthird note",
              ReadBytes(folder / "Tool.LinkLog"));
    EXPECT_TRUE(modLog::Notes().empty());
}

TEST_F(ModLogTest, ASecondBuildReplacesTheLogAndMarksItAsExisting) {
    std::ofstream(folder / "Tool.LinkLog") << std::string(5000, 'o');
    modLog::LogFiles(context);
    modLog::LogFlush(context);
    const std::string log = ReadBytes(folder / "Tool.LinkLog");
    EXPECT_NE(std::string::npos, log.find("[*] " + Narrow(context.LogFileName)));
    EXPECT_EQ(std::string::npos, log.find('o' + std::string(10, 'o')));
    EXPECT_EQ(0u, log.find("File names:\r\n"));
}

TEST_F(ModLogTest, AFailedWriteLeavesNoFileAndEmptiesTheText) {
    context.LogFileName = (folder / "no such folder" / "Tool.LinkLog").wstring();
    modLog::LogItem(L"Caption", L"value");
    modLog::LogFlush(context);
    EXPECT_EQ(L"", modLog::LogText());
    EXPECT_FALSE(std::filesystem::exists(folder / "no such folder"));
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(folder),
                               std::filesystem::directory_iterator()));
}

TEST_F(ModLogTest, CharactersOutsideTheCodePageBecomeItsReplacement) {
    // U+0142 has the look-alike "l" in Windows' best-fit tables for code page 1251 and 1252.
    modLog::LogItem(L"Line", L"a\u4E2Db\u0142c");
    modLog::LogFlush(context);
    EXPECT_EQ("Line:\r\na?b?c", ReadBytes(folder / "Tool.LinkLog"));
}
