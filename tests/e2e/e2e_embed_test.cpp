// The manifest inside the program, end to end: what the program embeds, what the build scripts
// see, what becomes of a program's own manifest and of an external file, and a locked program.
#include "ProgramFixture.h"

#include <windows.h>

#include <cstring>
#include <map>
#include <string>

namespace {

// The manifest with its "Generated at:" line taken out: two runs differ only there.
std::string Undated(std::string bytes) {
    const std::size_t at = bytes.find("Generated at:");
    if (at != std::string::npos) bytes.erase(at, bytes.find("\r\n", at) - at);
    return bytes;
}

// The data that the program's debug directory points at, entry by entry, and where it points.
std::string DebugData(const std::wstring& path) {
    const std::string file = e2e::ReadBytes(path).value_or("");
    if (file.size() < 0x40) return "";
    auto at = [&](std::size_t offset, std::size_t size) {
        return offset + size <= file.size() ? file.data() + offset : nullptr;
    };
    LONG headers = 0;
    std::memcpy(&headers, file.data() + 0x3C, 4);
    const auto* nt =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(at(headers, sizeof(IMAGE_NT_HEADERS)));
    if (!nt) return "";
    const IMAGE_DATA_DIRECTORY directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DEBUG];
    const auto* section = IMAGE_FIRST_SECTION(nt);
    std::string data;
    for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
        const DWORD start = section->VirtualAddress;
        if (directory.VirtualAddress < start ||
            directory.VirtualAddress >= start + section->SizeOfRawData)
            continue;
        const std::size_t offset = directory.VirtualAddress - start + section->PointerToRawData;
        for (DWORD n = 0; n < directory.Size / sizeof(IMAGE_DEBUG_DIRECTORY); ++n) {
            const auto* entry = reinterpret_cast<const IMAGE_DEBUG_DIRECTORY*>(
                at(offset + n * sizeof(IMAGE_DEBUG_DIRECTORY), sizeof(IMAGE_DEBUG_DIRECTORY)));
            const char* bytes = entry ? at(entry->PointerToRawData, entry->SizeOfData) : nullptr;
            if (!bytes) return "broken";
            data += std::to_string(entry->AddressOfRawData) + ":" +
                    std::string(bytes, entry->SizeOfData) + ";";
        }
    }
    return data;
}

class Embed : public Program {
  protected:
    std::string Log() { return e2e::ReadBytes(project_ + L"Tool.LinkLog").value_or(""); }
    std::wstring ManifestFile() const { return exe_ + L".manifest"; }
};

} // namespace

TEST_F(Embed, AProgramsOwnManifestIsWarnedAboutThenReplacedByOursAndOurFileGoes) {
    output_ = testsDir_ + L"version\\OwnManifest.exe";
    Project(L"Tool.LinkConfig", L"");
    auto result = Link(L"x.obj /OUT:\"" + exe_ + L"\"");
    EXPECT_EQ(0u, result.ExitCode);
    ASSERT_EQ(1u, result.Boxes.size()) << e2e::Describe(result);
    ExpectBox(result.Boxes[0], L"warning",
              exe_ +
                  L"\r\n\r\nУ программы есть собственный манифест (ресурс), поэтому Windows не "
                  L"будет читать внешний файл манифеста " +
                  ManifestFile() +
                  L".\r\n\r\nЧтобы заменить собственный манифест программы созданным, добавьте в "
                  L"файл настроек строку EMBED.");
    const std::string external = e2e::ReadBytes(ManifestFile()).value_or("none");
    EXPECT_EQ(std::vector<WORD>{0x419}, [&] {
        std::vector<WORD> languages;
        for (const auto& entry : e2e::ManifestResources(exe_)) languages.push_back(entry.first);
        return languages;
    }());

    Project(L"Tool.LinkConfig", L"EMBED");
    result = Link(L"x.obj /OUT:\"" + exe_ + L"\"");
    EXPECT_EQ(0u, result.ExitCode);
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    const auto embedded = e2e::ManifestResources(exe_);
    ASSERT_EQ(1u, embedded.count(0x419));
    EXPECT_EQ(1u, embedded.size());
    EXPECT_EQ(Undated(external), Undated(embedded.at(0x419)));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(ManifestFile())));
    EXPECT_NE(std::string::npos, Log().find("own manifest resource was replaced"));
    // Linked with debug information: the rewritten program still points at the same data.
    EXPECT_NE(std::string::npos, DebugData(output_).find("RSDS"));
    EXPECT_EQ(DebugData(output_), DebugData(exe_));
}

TEST_F(Embed, TheScriptsGetTheProgramWithItsManifestAndAHandWrittenFileStays) {
    Project(L"Tool.LinkConfig", L"EMBED\r\nCOMPRESS");
    for (const wchar_t* step : {L"Compress", L"Sign"}) {
        Project((std::wstring(L"Tool.") + step + L".BAT").c_str(),
                L"@copy /y \"%~1\" \"" + work_ + step + L".exe\" >nul\r\n");
    }
    const std::string handWritten = "<assembly/>\r\n";
    e2e::WriteBytes(ManifestFile(), handWritten);
    auto result = Link(L"x.obj /OUT:\"" + exe_ + L"\"");
    EXPECT_EQ(0u, result.ExitCode);
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    const auto embedded = e2e::ManifestResources(exe_);
    ASSERT_EQ(1u, embedded.count(0));
    EXPECT_NE(std::string::npos, embedded.at(0).find("<assemblyIdentity"));
    EXPECT_EQ(embedded, e2e::ManifestResources(work_ + L"Compress.exe"));
    EXPECT_EQ(embedded, e2e::ManifestResources(work_ + L"Sign.exe"));
    EXPECT_EQ(handWritten, e2e::ReadBytes(ManifestFile()).value_or("none"));
    EXPECT_NE(std::string::npos, Log().find("was not written by this program"));
}

TEST_F(Embed, AProgramHeldOpenIsReportedAndLeftByteForByte) {
    ASSERT_TRUE(CopyFileW(output_.c_str(), exe_.c_str(), FALSE));
    Project(L"Tool.LinkConfig", L"EMBED");
    // Readers may share it, nobody may replace it: a running copy of the program, say.
    HANDLE held = CreateFileW(exe_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    auto options = LinkOptions(e2e::QuoteArgument(bin_ + L"VexmorLink.exe") + L" x.obj /OUT:\"" +
                               exe_ + L"\"");
    options.UnsetEnv = {L"VEXMOR_STANDIN_OUTPUT"}; // the link leaves the file as it is
    std::erase_if(options.Env,
                  [](const auto& pair) { return pair.first == L"VEXMOR_STANDIN_OUTPUT"; });
    auto result = e2e::Run(options);
    CloseHandle(held);
    EXPECT_EQ(0u, result.ExitCode);
    ASSERT_EQ(1u, result.Boxes.size()) << e2e::Describe(result);
    EXPECT_EQ(L"error", result.Boxes[0].Icon);
    EXPECT_EQ(0u, result.Boxes[0].Text.find(exe_ + L"\r\n\r\nНе удалось встроить манифест"));
    EXPECT_NE(std::wstring::npos, result.Boxes[0].Text.find(L"\r\nError number: "));
    EXPECT_EQ(e2e::ReadBytes(output_), e2e::ReadBytes(exe_));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(ManifestFile())));
    for (const auto& entry : std::filesystem::directory_iterator(project_)) {
        EXPECT_NE(L".tmp", entry.path().extension().wstring());
    }
}
