#include "version/modVersion.h"

#include "TestFolders.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <tuple>

using namespace modVersion;

namespace {

using Fields =
    std::tuple<std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::wstring, bool>;

Fields Of(const FileVersionRecord& r) {
    return {r.Major, r.Minor, r.Build, r.Revision, r.Description, r.IsLibrary};
}

// The fixture files are built beside the test program.
std::wstring Fixture(const std::wstring& name) {
    return (TestFolders::ProgramFolder() / L"version" / name).wstring();
}

std::wstring CopyTo(const std::wstring& fixture, const std::wstring& target) {
    EXPECT_TRUE(CopyFileW(Fixture(fixture).c_str(), target.c_str(), FALSE)) << target;
    return target;
}

// The whole resource as the reader gets it, through the wide or the ANSI forms.
VersionBuffer Load(const std::wstring& fixture, bool wide) {
    VersionBuffer buffer;
    buffer.Wide = wide;
    std::wstring name = Fixture(fixture);
    std::string ansi(name.begin(), name.end()); // fixture paths are plain ASCII here
    DWORD handle = 0;
    DWORD size = wide ? GetFileVersionInfoSizeW(name.c_str(), &handle)
                      : GetFileVersionInfoSizeA(ansi.c_str(), &handle);
    EXPECT_NE(size, 0u) << name;
    buffer.Bytes.assign(size, 0);
    BOOL ok = wide ? GetFileVersionInfoW(name.c_str(), 0, size, buffer.Bytes.data())
                   : GetFileVersionInfoA(ansi.c_str(), 0, size, buffer.Bytes.data());
    EXPECT_TRUE(ok) << name;
    return buffer;
}

constexpr std::uint32_t kEnglishUnicode = 0x04B00409; // 0409 / 1200
constexpr std::uint32_t kRussian1251 = 0x04E30419;    // 0419 / 04E3

const wchar_t kCyrillicDescription[] = L"Инструмент сборки «Ёж»";

// Cyrillic text has an ANSI form only where the code page is the users' 1251.
bool AnsiHasCyrillic() {
    return GetACP() == 1251;
}

} // namespace

TEST(GetVersionWin32, ProgramGivesItsFileVersionDescriptionAndNoLibraryFlag) {
    FileVersionRecord r;
    ASSERT_TRUE(GetVersionWin32(Fixture(L"App.exe"), r));
    // The product version (7.8.9.10) must not leak in.
    EXPECT_EQ(Of(r), Fields(1, 2, 0, 15, L"Vexmor fixture program", false));
}

TEST(GetVersionWin32, OnlyTheLibraryFileTypeMakesALibrary) {
    FileVersionRecord r;
    ASSERT_TRUE(GetVersionWin32(Fixture(L"Library.dll"), r));
    EXPECT_EQ(Of(r), Fields(3, 4, 5, 6, L"Vexmor fixture library", true));

    FileVersionRecord driver;
    ASSERT_TRUE(GetVersionWin32(Fixture(L"Driver.dll"), driver));
    EXPECT_EQ(Of(driver), Fields(2, 0, 0, 1, L"Vexmor fixture driver", false));
}

TEST(GetVersionWin32, PartsAboveSignedRangeStayUnsigned) {
    FileVersionRecord r;
    ASSERT_TRUE(GetVersionWin32(Fixture(L"LargeParts.exe"), r));
    EXPECT_EQ(Of(r), Fields(40000, 65535, 32768, 40001, L"Large parts", false));
}

TEST(GetVersionWin32, FirstTranslationChoosesTheStringBlock) {
    FileVersionRecord r;
    ASSERT_TRUE(GetVersionWin32(Fixture(L"FirstPair.exe"), r));
    EXPECT_EQ(Of(r), Fields(5, 6, 7, 8, L"Русское описание", false));
}

TEST(GetVersionWin32, CyrillicDescriptionArrivesIntact) {
    FileVersionRecord r;
    ASSERT_TRUE(GetVersionWin32(Fixture(L"Cyrillic.exe"), r));
    EXPECT_EQ(Of(r), Fields(1, 0, 0, 3, kCyrillicDescription, false));
}

TEST(GetVersionWin32, EmptyDescriptionIsStillADescription) {
    // windres stores the terminating character alone: a length of 1, not 0.
    FileVersionRecord r{9, 9, 9, 9, L"stale", true};
    ASSERT_TRUE(GetVersionWin32(Fixture(L"EmptyDescription.exe"), r));
    EXPECT_EQ(Of(r), Fields(1, 1, 1, 1, L"", false));
}

TEST(GetVersionWin32, DescriptionUnderAnotherLanguageOnlyFailsAfterTheNumbers) {
    FileVersionRecord r;
    EXPECT_FALSE(GetVersionWin32(Fixture(L"OtherLanguage.dll"), r));
    EXPECT_EQ(Of(r), Fields(9, 8, 7, 6, L"", true));
}

TEST(GetVersionWin32, NoTranslationTableFailsAfterTheNumbers) {
    FileVersionRecord r;
    EXPECT_FALSE(GetVersionWin32(Fixture(L"NoTranslation.dll"), r));
    EXPECT_EQ(Of(r), Fields(4, 3, 2, 1, L"", true));
}

TEST(GetVersionWin32, NoResourceOrNoFileFails) {
    for (const std::wstring& name :
         {Fixture(L"NoResource.exe"), Fixture(L"Missing.exe"), Fixture(L""), std::wstring()}) {
        FileVersionRecord r;
        EXPECT_FALSE(GetVersionWin32(name, r)) << name;
        EXPECT_EQ(Of(r), Fields(0, 0, 0, 0, L"", false)) << name;
    }
}

TEST(GetVersionWin32, PathOutsideTheAnsiCodePageIsReadThroughTheWideForms) {
    std::wstring folder = TestFolders::Fresh(L"Ω-путь").wstring();
    std::wstring name = CopyTo(L"Cyrillic.exe", folder + L"\\Сборка ☃.exe");
    FileVersionRecord r;
    ASSERT_TRUE(GetVersionWin32(name, r, true));
    EXPECT_EQ(Of(r), Fields(1, 0, 0, 3, kCyrillicDescription, false));
    DeleteFileW(name.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST(GetVersionWin32, AnsiFormsGiveWhatTheWideFormsGive) {
    std::vector<std::wstring> names;
    for (const wchar_t* f :
         {L"App.exe", L"Library.dll", L"Driver.dll", L"LargeParts.exe", L"OtherLanguage.dll",
          L"NoTranslation.dll", L"EmptyDescription.exe", L"NoResource.exe", L"Missing.exe"}) {
        names.push_back(Fixture(f));
    }
    std::wstring folder;
    if (AnsiHasCyrillic()) {
        names.push_back(Fixture(L"FirstPair.exe"));
        names.push_back(Fixture(L"Cyrillic.exe"));
        folder = TestFolders::Fresh(L"ansi-путь").wstring();
        names.push_back(CopyTo(L"App.exe", folder + L"\\Программа сборки.exe"));
    }
    for (const std::wstring& name : names) {
        FileVersionRecord wide, ansi;
        bool wideOk = GetVersionWin32(name, wide, true);
        EXPECT_EQ(wideOk, GetVersionWin32(name, ansi, false)) << name;
        EXPECT_EQ(Of(wide), Of(ansi)) << name;
    }
    if (AnsiHasCyrillic()) {
        // Otherwise the comparison above could pass on two equally broken texts.
        FileVersionRecord ansi;
        ASSERT_TRUE(GetVersionWin32(Fixture(L"Cyrillic.exe"), ansi, false));
        EXPECT_EQ(ansi.Description, kCyrillicDescription);
        FileVersionRecord copy;
        ASSERT_TRUE(GetVersionWin32(names.back(), copy, false));
        EXPECT_EQ(copy.Description, L"Vexmor fixture program");
        DeleteFileW(names.back().c_str());
        RemoveDirectoryW(folder.c_str());
    } else {
        ADD_FAILURE() << "ANSI code page " << GetACP() << ": run with LC_ALL=ru_RU.UTF-8";
    }
}

TEST(VersionParts, FixedPartIsTheFileTypeAndBothVersions) {
    for (bool wide : {true, false}) {
        FixedFileInfo info{};
        ASSERT_TRUE(GetVersionWin32_FFI(Load(L"App.exe", wide), info));
        EXPECT_EQ(info.dwSignature, 0xFEEF04BDu);
        EXPECT_EQ(info.dwFileVersionMS, 0x00010002u);
        EXPECT_EQ(info.dwFileVersionLS, 0x0000000Fu);
        EXPECT_EQ(info.dwProductVersionMS, 0x00070008u);
        EXPECT_EQ(info.dwFileType, static_cast<std::uint32_t>(VFT_APP));
    }
    FixedFileInfo info{};
    EXPECT_FALSE(GetVersionWin32_FFI(VersionBuffer{}, info));
}

TEST(VersionParts, TranslationIsTheFirstPairLanguageLow) {
    for (bool wide : {true, false}) {
        std::uint32_t translation = 0;
        ASSERT_TRUE(GetVersionWin32_Translation(Load(L"FirstPair.exe", wide), translation));
        EXPECT_EQ(translation, kRussian1251);
        ASSERT_TRUE(GetVersionWin32_Translation(Load(L"App.exe", wide), translation));
        EXPECT_EQ(translation, kEnglishUnicode);
        EXPECT_FALSE(GetVersionWin32_Translation(Load(L"NoTranslation.dll", wide), translation));
    }
    std::uint32_t translation = 0;
    EXPECT_FALSE(GetVersionWin32_Translation(VersionBuffer{}, translation));
}

TEST(VersionParts, StringNeedsANameThatExistsUnderThatTranslation) {
    for (bool wide : {true, false}) {
        VersionBuffer app = Load(L"App.exe", wide);
        std::wstring value = L"untouched";
        ASSERT_TRUE(GetVersionWin32_String(app, L"CompanyName", kEnglishUnicode, value));
        EXPECT_EQ(value, L"Vexmor");
        ASSERT_TRUE(GetVersionWin32_String(app, L"FileVersion", kEnglishUnicode, value));
        EXPECT_EQ(value, L"1.2.0.15");

        value = L"untouched";
        EXPECT_FALSE(GetVersionWin32_String(app, L"", kEnglishUnicode, value));
        EXPECT_FALSE(GetVersionWin32_String(app, L"LegalCopyright", kEnglishUnicode, value));
        EXPECT_FALSE(GetVersionWin32_String(app, L"CompanyName", kRussian1251, value));
        EXPECT_EQ(value, L"untouched");
    }
}

TEST(VersionParts, StringOfTheSecondPairIsReachableByItsTranslation) {
    // The query names the block by four upper-case hex digits each: 0409 then 04B0.
    std::wstring value;
    ASSERT_TRUE(GetVersionWin32_String(Load(L"FirstPair.exe", true), L"FileDescription",
                                       kEnglishUnicode, value));
    EXPECT_EQ(value, L"English description");
}

// The reader is called for the output file several times in one run; the cache must never hand
// out another file's record or hide a file that has become readable.
TEST(GetVersion, ClearsTheRecordEvenWhenItFails) {
    FileVersionRecord r{9, 9, 9, 9, L"stale", true};
    EXPECT_FALSE(GetVersion(Fixture(L"Missing.exe"), r));
    EXPECT_EQ(Of(r), Fields(0, 0, 0, 0, L"", false));
}

TEST(GetVersion, AnotherFileNameReadsThatFile) {
    std::wstring folder = TestFolders::Fresh(L"cache-other").wstring();
    std::wstring program = CopyTo(L"App.exe", folder + L"\\program.exe");
    std::wstring library = CopyTo(L"Library.dll", folder + L"\\library.dll");
    FileVersionRecord r;
    ASSERT_TRUE(GetVersion(program, r));
    EXPECT_EQ(Of(r), Fields(1, 2, 0, 15, L"Vexmor fixture program", false));
    ASSERT_TRUE(GetVersion(library, r));
    EXPECT_EQ(Of(r), Fields(3, 4, 5, 6, L"Vexmor fixture library", true));
    ASSERT_TRUE(GetVersion(program, r));
    EXPECT_EQ(Of(r), Fields(1, 2, 0, 15, L"Vexmor fixture program", false));
}

TEST(GetVersion, SameNameAnswersFromTheCacheAfterTheFileIsGone) {
    std::wstring folder = TestFolders::Fresh(L"cache-deleted").wstring();
    std::wstring name = CopyTo(L"Library.dll", folder + L"\\output.dll");
    FileVersionRecord r;
    ASSERT_TRUE(GetVersion(name, r));
    ASSERT_TRUE(DeleteFileW(name.c_str()));
    FileVersionRecord uncached;
    ASSERT_FALSE(GetVersionWin32(name, uncached));

    FileVersionRecord cached{1, 1, 1, 1, L"stale", false};
    EXPECT_TRUE(GetVersion(name, cached));
    EXPECT_EQ(Of(cached), Fields(3, 4, 5, 6, L"Vexmor fixture library", true));
}

TEST(GetVersion, FailedReadKeepsTheEarlierCacheAndCachesNothing) {
    std::wstring folder = TestFolders::Fresh(L"cache-failed").wstring();
    std::wstring good = CopyTo(L"App.exe", folder + L"\\good.exe");
    std::wstring later = CopyTo(L"NoResource.exe", folder + L"\\later.exe");
    FileVersionRecord r;
    ASSERT_TRUE(GetVersion(good, r));

    EXPECT_FALSE(GetVersion(later, r));
    // The file becomes readable (a relink): the same name must now be read again.
    CopyTo(L"Cyrillic.exe", later);
    ASSERT_TRUE(GetVersion(later, r));
    EXPECT_EQ(Of(r), Fields(1, 0, 0, 3, kCyrillicDescription, false));

    // The failure did not throw away the good read either.
    ASSERT_TRUE(GetVersion(good, r));
    ASSERT_TRUE(DeleteFileW(good.c_str()));
    EXPECT_FALSE(GetVersion(Fixture(L"OtherLanguage.dll"), r));
    ASSERT_TRUE(GetVersion(good, r));
    EXPECT_EQ(Of(r), Fields(1, 2, 0, 15, L"Vexmor fixture program", false));
}
