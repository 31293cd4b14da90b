#include "QZVSP0100B/PathOps.h"

#include <gtest/gtest.h>

using namespace PathOps;

TEST(Roots, RecognisesEveryKind) {
    EXPECT_EQ(RootOf(L"Tool.exe").kind, RootKind::None);
    EXPECT_EQ(RootOf(L"").kind, RootKind::None);
    EXPECT_EQ(RootOf(L"C:Tool.exe").kind, RootKind::DriveRelative);
    EXPECT_EQ(RootOf(L"c:\\").length, 3u);
    EXPECT_EQ(RootOf(L"c:/x").kind, RootKind::DriveAbsolute);
    EXPECT_EQ(RootOf(L"\\x").kind, RootKind::RootRelative);
    EXPECT_EQ(RootOf(L"/x").kind, RootKind::RootRelative);
    EXPECT_EQ(RootOf(L"\\\\srv\\share\\x").length, 11u);
    EXPECT_EQ(RootOf(L"//srv/share").length, 11u);
    EXPECT_EQ(RootOf(L"\\\\?\\C:\\x").length, 7u);
    EXPECT_EQ(RootOf(L"\\\\?\\UNC\\srv\\share\\x").length, 17u);
    // Not a drive: a colon after a digit or a longer name.
    EXPECT_EQ(RootOf(L"1:x").kind, RootKind::None);
    EXPECT_EQ(RootOf(L"ab:x").kind, RootKind::None);
    EXPECT_TRUE(IsAbsolute(L"C:\\x"));
    EXPECT_TRUE(IsAbsolute(L"\\\\srv\\share"));
    EXPECT_FALSE(IsAbsolute(L"C:x"));
    EXPECT_FALSE(IsAbsolute(L"\\x"));
}

TEST(Extensions, ReplaceTheLastExtensionOfTheLastPart) {
    EXPECT_EQ(ReplaceFileExtension(L"C:\\Work\\Tool.dll", L"Compress.BAT"),
              L"C:\\Work\\Tool.Compress.BAT");
    EXPECT_EQ(ReplaceFileExtension(L"C:\\my.dir\\Tool", L"DEF"), L"C:\\my.dir\\Tool.DEF");
    EXPECT_EQ(ReplaceFileExtension(L"C:/my.dir/Tool", L"DEF"), L"C:/my.dir/Tool.DEF");
    EXPECT_EQ(ReplaceFileExtension(L"a.b.c", L"x"), L"a.b.x");
    EXPECT_EQ(ReplaceFileExtension(L"Tool.", L"ext"), L"Tool.ext");
    EXPECT_EQ(ReplaceFileExtension(L"Tool", L"ext"), L"Tool.ext");
    EXPECT_EQ(ReplaceFileExtension(L"C:Tool.exe", L"map"), L"C:Tool.map");
    EXPECT_EQ(ReplaceFileExtension(L"\\\\srv\\sh.are\\Tool", L"LinkConfig"),
              L"\\\\srv\\sh.are\\Tool.LinkConfig");
    EXPECT_EQ(ReplaceFileExtension(L"Tool.exe", L""), L"Tool");
}

TEST(Extensions, GetTheExtensionInItsOwnCase) {
    EXPECT_EQ(GetFileExtension(L"C:\\Work\\Tool.DlL"), L"DlL");
    EXPECT_EQ(GetFileExtension(L"a.b.c"), L"c");
    EXPECT_EQ(GetFileExtension(L"C:\\my.dir\\Tool"), L"");
    EXPECT_EQ(GetFileExtension(L"C:/my.dir/Tool"), L"");
    EXPECT_EQ(GetFileExtension(L"Tool."), L"");
    EXPECT_EQ(GetFileExtension(L""), L"");
    EXPECT_EQ(GetFileExtension(L"C:\\Work\\.."), L"");
    EXPECT_EQ(GetFileExtension(L"\\\\srv\\share.x"), L""); // a share is no file
}

TEST(FileNames, TakeThePartAfterTheLastSeparator) {
    EXPECT_EQ(GetFileName(L"C:\\Work\\Tool.exe", false), L"Tool.exe");
    EXPECT_EQ(GetFileName(L"C:\\Work\\Tool.exe", true), L"Tool");
    EXPECT_EQ(GetFileName(L"C:/Work\\sub/Tool.tar.gz", true), L"Tool.tar");
    EXPECT_EQ(GetFileName(L"C:\\my.dir\\Tool", true), L"Tool");
    EXPECT_EQ(GetFileName(L"Tool.exe", true), L"Tool");
    EXPECT_EQ(GetFileName(L"C:Tool.exe", false), L"Tool.exe");
    EXPECT_EQ(GetFileName(L"C:\\Work\\", false), L"");
    EXPECT_EQ(GetFileName(L"", true), L"");
    EXPECT_EQ(GetFileName(L"\\\\srv\\share\\x.exe", false), L"x.exe");
}

TEST(FilePaths, DropTheNameAndTheSeparatorButKeepRoots) {
    EXPECT_EQ(GetFilePath(L"C:\\Work\\Tool.exe"), L"C:\\Work");
    EXPECT_EQ(GetFilePath(L"C:\\Tool.exe"), L"C:\\");
    EXPECT_EQ(GetFilePath(L"C:/Tool.exe"), L"C:/");
    EXPECT_EQ(GetFilePath(L"C:\\"), L"C:\\");
    EXPECT_EQ(GetFilePath(L"C:Tool.exe"), L"C:");
    EXPECT_EQ(GetFilePath(L"Tool.exe"), L"");
    EXPECT_EQ(GetFilePath(L""), L"");
    EXPECT_EQ(GetFilePath(L"\\Tool.exe"), L"\\");
    EXPECT_EQ(GetFilePath(L"\\\\srv\\share\\x.exe"), L"\\\\srv\\share");
    EXPECT_EQ(GetFilePath(L"\\\\srv\\share\\sub\\x.exe"), L"\\\\srv\\share\\sub");
    EXPECT_EQ(GetFilePath(L"\\\\srv\\share"), L"\\\\srv\\share");
    EXPECT_EQ(GetFilePath(L"C:\\my.dir/sub\\\\Tool.exe"), L"C:\\my.dir/sub");
    EXPECT_EQ(GetFilePath(L"C:\\\\Tool.exe"), L"C:\\");
    EXPECT_EQ(GetFilePath(L"Work\\Tool.exe"), L"Work");
}

TEST(AbsoluteNames, AbsoluteNamesComeBackExactlyAsGiven) {
    EXPECT_EQ(GetAbsoluteFileName(L"C:\\x\\..\\y", L"D:\\base"), L"C:\\x\\..\\y");
    EXPECT_EQ(GetAbsoluteFileName(L"c:/x/./y", L"D:\\base"), L"c:/x/./y");
    EXPECT_EQ(GetAbsoluteFileName(L"\\\\srv\\share\\..\\x", L"D:\\base"), L"\\\\srv\\share\\..\\x");
}

TEST(AbsoluteNames, RelativeNamesJoinTheBaseAndFoldDots) {
    EXPECT_EQ(GetAbsoluteFileName(L"Tool.exe", L"C:\\Work"), L"C:\\Work\\Tool.exe");
    EXPECT_EQ(GetAbsoluteFileName(L"Tool.exe", L"C:\\Work\\"), L"C:\\Work\\Tool.exe");
    EXPECT_EQ(GetAbsoluteFileName(L"..\\Out\\.\\Tool.exe", L"C:\\Work\\Src"),
              L"C:\\Work\\Out\\Tool.exe");
    EXPECT_EQ(GetAbsoluteFileName(L"../Out/Tool.exe", L"C:/Work/Src"), L"C:/Work/Out/Tool.exe");
    EXPECT_EQ(GetAbsoluteFileName(L"sub\\", L"C:\\Work"), L"C:\\Work\\sub\\");
    EXPECT_EQ(GetAbsoluteFileName(L"..", L"C:\\Work"), L"C:\\");
    EXPECT_EQ(GetAbsoluteFileName(L"", L"C:\\Work\\.\\x\\.."), L"C:\\Work");
    EXPECT_EQ(GetAbsoluteFileName(L"a\\\\b", L"C:\\Work"), L"C:\\Work\\a\\b");
    // Dots that are part of names stay.
    EXPECT_EQ(GetAbsoluteFileName(L"...\\.x\\x.", L"C:\\my.dir"), L"C:\\my.dir\\...\\.x\\x.");
}

TEST(AbsoluteNames, NeverClimbAboveTheRoot) {
    EXPECT_EQ(GetAbsoluteFileName(L"..\\..\\..\\x", L"C:\\Work"), L"C:\\x");
    EXPECT_EQ(GetAbsoluteFileName(L"..\\..\\..\\x", L"\\\\srv\\share\\dir"), L"\\\\srv\\share\\x");
    EXPECT_EQ(GetAbsoluteFileName(L"..", L"\\\\srv\\share"), L"\\\\srv\\share");
    EXPECT_EQ(GetAbsoluteFileName(L"\\..\\x", L"C:\\Work"), L"C:\\x");
}

TEST(AbsoluteNames, RootRelativeNamesTakeTheBaseRoot) {
    EXPECT_EQ(GetAbsoluteFileName(L"\\Out\\Tool.exe", L"D:\\Work\\Src"), L"D:\\Out\\Tool.exe");
    EXPECT_EQ(GetAbsoluteFileName(L"/Out/Tool.exe", L"D:/Work"), L"D:/Out/Tool.exe");
    EXPECT_EQ(GetAbsoluteFileName(L"\\Out\\Tool.exe", L"\\\\srv\\share\\Work"),
              L"\\\\srv\\share\\Out\\Tool.exe");
}

TEST(AbsoluteNames, DriveRelativeNames) {
    EXPECT_EQ(GetAbsoluteFileName(L"d:Tool.exe", L"D:\\Work"), L"D:\\Work\\Tool.exe");
    EXPECT_EQ(GetAbsoluteFileName(L"E:Tool.exe", L"D:\\Work"), L"E:\\Tool.exe");
}

TEST(AbsoluteNames, ARelativeBaseIsTakenAsGiven) {
    EXPECT_EQ(GetAbsoluteFileName(L"x", L"Work\\Src"), L"Work\\Src\\x");
    EXPECT_EQ(GetAbsoluteFileName(L"..\\..\\x", L"Work"), L"..\\x");
    EXPECT_EQ(GetAbsoluteFileName(L"x", L""), L"x");
    EXPECT_EQ(GetAbsoluteFileName(L"x", L"C:"), L"C:x");
}

TEST(Joining, BuildFileNameUsesExactlyOneSeparator) {
    EXPECT_EQ(BuildFileName(L"C:\\Work", L"Tool.exe", false), L"C:\\Work\\Tool.exe");
    EXPECT_EQ(BuildFileName(L"C:\\Work\\", L"Tool.exe", false), L"C:\\Work\\Tool.exe");
    EXPECT_EQ(BuildFileName(L"C:\\Work\\", L"\\Tool.exe", false), L"C:\\Work\\Tool.exe");
    EXPECT_EQ(BuildFileName(L"C:\\Work", L"\\Tool.exe", false), L"C:\\Work\\Tool.exe");
    EXPECT_EQ(BuildFileName(L"C:/Work/", L"Tool.exe", false), L"C:/Work/Tool.exe");
    EXPECT_EQ(BuildFileName(L"C:\\", L"Tool.exe", false), L"C:\\Tool.exe");
    EXPECT_EQ(BuildFileName(L"", L"Tool.exe", false), L"Tool.exe");
    EXPECT_EQ(BuildFileName(L"C:\\Work", L"", false), L"C:\\Work");
    EXPECT_EQ(BuildFileName(L"C:\\Program Files", L"Tool.exe", true),
              L"\"C:\\Program Files\\Tool.exe\"");
    EXPECT_EQ(BuildFileName(L"", L"Tool.exe", true), L"\"Tool.exe\"");
}

TEST(Joining, BuildFileName2SkipsEmptyParts) {
    EXPECT_EQ(BuildFileName2({L"C:\\Work", L"", L"sub\\", L"\\x", L"", L"", L"", L"", L"y.txt"}),
              L"C:\\Work\\sub\\x\\y.txt");
    EXPECT_EQ(BuildFileName2({L"", L"a", L"b", L"", L"", L"", L"", L"", L""}), L"a\\b");
    EXPECT_EQ(BuildFileName2({L"", L"", L"", L"", L"", L"", L"", L"", L""}), L"");
    EXPECT_EQ(BuildFileName2({L"1", L"2", L"3", L"4", L"5", L"6", L"7", L"8", L"9"}),
              L"1\\2\\3\\4\\5\\6\\7\\8\\9");
}

TEST(Words, SplitAndHexDigits) {
    EXPECT_EQ(HiWord(0x04B00409u), 0x04B0);
    EXPECT_EQ(LoWord(0x04B00409u), 0x0409);
    EXPECT_EQ(HiWord(0xFFFFFFFFu), 0xFFFF);
    EXPECT_EQ(LoWord(0x00010000u), 0);
    EXPECT_EQ(Hex2(0x0409), L"0409");
    EXPECT_EQ(Hex2(0x04B0), L"04B0");
    EXPECT_EQ(Hex2(0), L"0000");
    EXPECT_EQ(Hex2(0xFFFF), L"FFFF");
    EXPECT_EQ(Hex2(0xABC), L"0ABC");
}
