#include "process/csStdFile.h"

#include "process/process_test_util.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace process_test;

namespace {

HANDLE Handle(const csStdFile& file) {
    return reinterpret_cast<HANDLE>(file.hFile());
}

void Write(const csStdFile& file, const std::string& bytes) {
    DWORD written = 0;
    ASSERT_TRUE(
        WriteFile(Handle(file), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
}

// Deleting succeeds only once nobody holds the file open without delete sharing.
bool Deletable(const std::wstring& path) {
    return DeleteFileW(path.c_str()) != 0;
}

} // namespace

TEST(csStdFile, CreatesAnEmptyFileTruncatingAnOldOne) {
    std::wstring folder = TestFolders::Fresh(L"stdfile-create").wstring();
    std::wstring name = folder + L"\\capture.log";
    WriteBytes(name, "stale output from an earlier build\r\n");

    csStdFile file;
    EXPECT_EQ(file.hFile(), 0u);
    ASSERT_TRUE(file.CreateNewFile(name));
    EXPECT_NE(file.hFile(), 0u);
    EXPECT_EQ(file.Name(), name);
    EXPECT_EQ(ReadBytes(name), "");
    Write(file, "fresh\r\n");
    file.CloseFile();
    EXPECT_EQ(ReadBytes(name), "fresh\r\n");
}

TEST(csStdFile, HandleIsInheritableAndSharedForReadAndWrite) {
    std::wstring folder = TestFolders::Fresh(L"stdfile-share").wstring();
    std::wstring name = folder + L"\\capture.log";
    csStdFile file;
    ASSERT_TRUE(file.CreateNewFile(name));

    DWORD flags = 0;
    ASSERT_TRUE(GetHandleInformation(Handle(file), &flags));
    EXPECT_TRUE(flags & HANDLE_FLAG_INHERIT);

    HANDLE other =
        CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    Write(file, "abc");
    char buffer[8] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(other, buffer, sizeof(buffer), &got, nullptr));
    EXPECT_EQ(std::string(buffer, got), "abc");
    CloseHandle(other);
}

TEST(csStdFile, CloseFileReleasesTheFileKeepsTheNameAndMayRepeat) {
    std::wstring folder = TestFolders::Fresh(L"stdfile-close").wstring();
    std::wstring name = folder + L"\\capture.log";
    csStdFile file;
    ASSERT_TRUE(file.CreateNewFile(name));
    EXPECT_FALSE(Deletable(name));

    file.CloseFile();
    EXPECT_EQ(file.hFile(), 0u);
    EXPECT_EQ(file.Name(), name);
    file.CloseFile();
    EXPECT_EQ(file.hFile(), 0u);
    EXPECT_EQ(file.Name(), name);
    EXPECT_TRUE(Deletable(name));
}

TEST(csStdFile, NewFileClosesThePreviousOne) {
    std::wstring folder = TestFolders::Fresh(L"stdfile-reuse").wstring();
    std::wstring first = folder + L"\\first.log";
    std::wstring second = folder + L"\\second.log";
    csStdFile file;
    ASSERT_TRUE(file.CreateNewFile(first));
    ASSERT_TRUE(file.CreateNewFile(second));
    EXPECT_EQ(file.Name(), second);
    EXPECT_TRUE(Deletable(first));
    EXPECT_FALSE(Deletable(second));

    // A failed creation still closes what was open, and forgets both handle and name.
    EXPECT_FALSE(file.CreateNewFile(folder + L"\\no such folder\\third.log"));
    EXPECT_EQ(file.hFile(), 0u);
    EXPECT_EQ(file.Name(), L"");
    EXPECT_TRUE(Deletable(second));
}

TEST(csStdFile, DestructorClosesTheFile) {
    std::wstring folder = TestFolders::Fresh(L"stdfile-destroy").wstring();
    std::wstring name = folder + L"\\capture.log";
    {
        csStdFile file;
        ASSERT_TRUE(file.CreateNewFile(name));
        Write(file, "kept");
    }
    EXPECT_EQ(ReadBytes(name), "kept");
    EXPECT_TRUE(Deletable(name));
}
