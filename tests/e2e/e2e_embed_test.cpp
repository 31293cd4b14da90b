// The manifest inside the program end to end, with the build scripts, other manifests, failures.
#include "ProgramFixture.h"

#include <dbghelp.h>
#include <regex>

namespace {

// The manifest with its "Generated at:" line emptied: two runs differ only there.
std::string Undated(const std::string& bytes) {
    return std::regex_replace(bytes, std::regex("Generated at:[^\r]*"), "");
}

// The data that the program's debug directory points at, entry by entry, and where it points.
std::string DebugData(const std::wstring& path) {
    std::string file = e2e::ReadBytes(path).value_or("");
    ULONG size = 0;
    const auto* entry = static_cast<const IMAGE_DEBUG_DIRECTORY*>(
        ImageDirectoryEntryToData(file.data(), FALSE, IMAGE_DIRECTORY_ENTRY_DEBUG, &size));
    std::string data;
    for (ULONG n = 0; entry && n < size / sizeof *entry; ++n, ++entry)
        data += std::to_string(entry->AddressOfRawData) + ":" +
                file.substr(entry->PointerToRawData, entry->SizeOfData) + ";";
    return data;
}

class Embed : public Program {
  protected:
    // write false: the link leaves the output file as it is.
    e2e::RunResult LinkAs(const wchar_t* options, bool library = false, bool write = true) {
        Project(L"Tool.LinkConfig", options);
        exe_ = project_ + (library ? L"Tool.dll" : L"Tool.exe");
        auto run = LinkOptions(e2e::QuoteArgument(bin_ + L"VexmorLink.exe") +
                               (library ? L" /DLL" : L"") + L" x.obj /OUT:\"" + exe_ + L"\"");
        if (!write)
            std::erase_if(run.Env, [](auto& pair) { return pair.first.ends_with(L"OUTPUT"); });
        return e2e::Run(run);
    }
    std::string Log() { return e2e::ReadBytes(project_ + L"Tool.LinkLog").value_or(""); }
};

} // namespace

TEST_F(Embed, AProgramsOwnManifestIsWarnedAboutThenReplacedByOursAndOurFileGoes) {
    output_ = testsDir_ + L"version\\OwnManifest.exe";
    auto result = LinkAs(L"");
    ASSERT_EQ(1u, result.Boxes.size()) << e2e::Describe(result);
    EXPECT_EQ(L"warning", result.Boxes[0].Icon);
    EXPECT_NE(std::wstring::npos, result.Boxes[0].Text.find(L"внешний файл манифеста " + exe_));
    const std::string external = e2e::ReadBytes(exe_ + L".manifest").value_or("none");

    result = LinkAs(L"EMBED");
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    auto embedded = e2e::ManifestResources(exe_);
    EXPECT_EQ(1u, embedded.size());
    EXPECT_EQ(Undated(external), Undated(embedded[0x419]));
    EXPECT_FALSE(std::filesystem::exists(exe_ + L".manifest"));
    EXPECT_NE(std::string::npos,
              Log().find(Ansi(L"Собственный манифест программы (ресурс) заменён")));
    // Linked with debug information: the rewritten program still points at the same data.
    EXPECT_NE(std::string::npos, DebugData(output_).find("RSDS"));
    EXPECT_EQ(DebugData(output_), DebugData(exe_));
}

TEST_F(Embed, TheScriptsGetTheProgramWithItsManifestAHandWrittenFileStaysALibraryKeepsItsFile) {
    for (const wchar_t* step : {L"Compress", L"Sign"})
        Project((std::wstring(L"Tool.") + step + L".BAT").c_str(),
                L"@copy /y \"%~1\" \"" + work_ + step + L".exe\" >nul\r\n");
    e2e::WriteBytes(project_ + L"Tool.exe.manifest", "<assembly/>");
    auto result = LinkAs(L"EMBED\r\nCOMPRESS");
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    auto embedded = e2e::ManifestResources(exe_);
    EXPECT_NE(std::string::npos, embedded[0].find("<assemblyIdentity"));
    EXPECT_EQ(embedded, e2e::ManifestResources(work_ + L"Compress.exe"));
    EXPECT_EQ(embedded, e2e::ManifestResources(work_ + L"Sign.exe"));
    EXPECT_EQ("<assembly/>", e2e::ReadBytes(project_ + L"Tool.exe.manifest"));
    EXPECT_NE(std::string::npos,
              Log().find(Ansi(L"записан не этой программой и оставлен как есть")));

    output_ = testsDir_ + L"version\\Library.dll";
    result = LinkAs(L"EMBED\r\nMANIFEST", true);
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    EXPECT_TRUE(std::filesystem::exists(exe_ + L".manifest"));
    EXPECT_TRUE(e2e::ManifestResources(exe_).empty());
    EXPECT_NE(std::string::npos, Log().find(Ansi(L"EMBED действует только для программ")));
}

TEST_F(Embed, AProgramHeldOpenIsReportedAndLeftByteForByte) {
    ASSERT_TRUE(CopyFileW(output_.c_str(), exe_.c_str(), FALSE));
    // Readers may share it, nobody may replace it: a running copy of the program, say.
    HANDLE held = CreateFileW(exe_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              0, nullptr);
    auto result = LinkAs(L"EMBED", false, false);
    CloseHandle(held);
    EXPECT_EQ(0u, result.ExitCode);
    ASSERT_EQ(1u, result.Boxes.size()) << e2e::Describe(result);
    EXPECT_EQ(L"error", result.Boxes[0].Icon);
    EXPECT_EQ(0u, result.Boxes[0].Text.find(exe_ + L"\r\n\r\nНе удалось встроить манифест"));
    EXPECT_NE(std::wstring::npos, result.Boxes[0].Text.find(L"\r\nError number: 32\r\n"));
    EXPECT_EQ(e2e::ReadBytes(output_), e2e::ReadBytes(exe_));
    // No manifest file, no copy left behind: the program, its option file and its log.
    EXPECT_EQ(3, std::distance(std::filesystem::directory_iterator(project_), {}));
}
