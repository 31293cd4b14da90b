// The image settings end to end: the flags in the output's own headers and its checksum as the
// platform reads them, the rest of the file as linked, a 32-bit program given the memory above
// 2 GB.
#include "ProgramFixture.h"

#include <imagehlp.h>

namespace {

constexpr WORD kLarge = IMAGE_FILE_LARGE_ADDRESS_AWARE, kNx = IMAGE_DLLCHARACTERISTICS_NX_COMPAT,
               kAslr = IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE,
               kTs = IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE;

std::wstring Long(const std::wstring& path) {
    return path.size() >= 240 ? L"\\\\?\\" + path : path;
}

// The headers the platform finds in the file, and whether it computes the checksum stored there.
struct Headers {
    WORD Machine = 0, Flags = 0, DllFlags = 0;
    bool SumRight = false;
};
Headers Read(const std::wstring& path) {
    Headers headers;
    std::string bytes = e2e::ReadAllBytes(Long(path)).value_or("");
    if (const IMAGE_NT_HEADERS* nt = bytes.empty() ? nullptr : ImageNtHeader(bytes.data())) {
        headers.Machine = nt->FileHeader.Machine;
        headers.Flags = nt->FileHeader.Characteristics;
        headers.DllFlags = nt->OptionalHeader.DllCharacteristics;
    }
    DWORD stored = 0, computed = 0;
    headers.SumRight =
        MapFileAndCheckSumW(Long(path).c_str(), &stored, &computed) == CHECKSUM_SUCCESS &&
        stored == computed && stored != 0;
    return headers;
}

// The file with the fields the settings may change blanked out.
std::string Unflagged(std::string bytes) {
    if (IMAGE_NT_HEADERS* nt = bytes.empty() ? nullptr : ImageNtHeader(bytes.data())) {
        nt->FileHeader.Characteristics = nt->OptionalHeader.DllCharacteristics = 0;
        nt->OptionalHeader.CheckSum = 0;
    }
    return bytes;
}

class Image : public Program {
  protected:
    std::wstring Fixture(const wchar_t* name) const { return testsDir_ + L"image\\" + name; }
    // Runs a program and gives its exit code.
    std::uint32_t Start(const std::wstring& program) {
        return e2e::Run(Options(e2e::QuoteArgument(program))).ExitCode;
    }
};

} // namespace

TEST_F(Image, FlagsAsAskedTheRestAsLinkedAndTheChecksumRight) {
    const std::wstring noRelocations =
        L"\r\n\r\nВ файле нет таблицы перемещений, поэтому признак DYNAMICBASE (ASLR) не "
        L"установлен: Windows будет загружать файл только по его базовому адресу. Обычно таблицу "
        L"перемещений убирает ключ /FIXED в командной строке компоновщика.";
    const std::wstring tsNote = L"TSAWARE действует только для программ: у библиотеки ";
    const struct {
        const wchar_t* fixture;
        std::wstring options;
        WORD flags, dllFlags; // set by the step
        bool warned, noted, fixedNo, embedded;
        bool held = false; // held open by another program, built unattended
        bool deep = false; // in a folder past 260 characters
    } rows[] = {
        {L"ImageApp.exe", L"LARGEADDRESSAWARE\r\nNXCOMPAT\r\nTSAWARE", kLarge, kNx | kTs, false,
         false, false, false},
        {L"ImageApp.exe", L"DYNAMICBASE", 0, 0, true, false, true, false},
        {L"ImageRelocated.exe", L"DYNAMICBASE\r\nnxcompat", 0, kNx | kAslr, false, false, true,
         false},
        {L"ImageLibrary.dll", L"LARGEADDRESSAWARE\r\nNXCOMPAT\r\nDYNAMICBASE\r\nTSAWARE", kLarge,
         kNx | kAslr, false, true, true, false},
        {L"ImageApp.exe", L"EMBED", 0, 0, false, false, false, true},
        {L"ImageApp.exe", L"NXCOMPAT", 0, 0, false, false, false, false, true},
        {L"ImageRelocated.exe", L"EMBED\r\nLARGEADDRESSAWARE\r\nDYNAMICBASE", kLarge, kAslr, false,
         false, true, true, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << (&row - rows) << " " << e2e::ToUtf8(row.options));
        const bool library = std::wstring(row.fixture).ends_with(L".dll");
        output_ = Fixture(row.fixture);
        const Headers linked = Read(output_);
        ASSERT_TRUE(linked.SumRight);
        // Each flag was clear, but the large address space that 64-bit linkers always give.
        EXPECT_EQ(0, linked.DllFlags & row.dllFlags);
        if (linked.Machine == IMAGE_FILE_MACHINE_I386) {
            EXPECT_EQ(0, linked.Flags & row.flags);
        }

        // An earlier run's deep folders stay: too deep for the removal of the work folder.
        const auto made = [](const std::wstring& folder) {
            return CreateDirectoryW(Long(folder).c_str(), nullptr) ||
                   GetLastError() == ERROR_ALREADY_EXISTS;
        };
        std::wstring folder = work_ + L"p" + std::to_wstring(&row - rows) + L"\\";
        ASSERT_TRUE(made(folder));
        for (int i = 0; row.deep && i < 3; ++i)
            ASSERT_TRUE(made(folder += std::wstring(90, L'd') + L"\\"));
        exe_ = folder + (library ? L"Tool.dll" : L"Tool.exe");
        e2e::WriteBytes(Long(folder + L"Tool.LinkConfig"), Ansi(row.options));
        auto run = LinkOptions(e2e::QuoteArgument(bin_ + L"VexmorLink.exe") +
                               (library ? L" /DLL" : L"") + L" x.obj /OUT:\"" + exe_ + L"\"");
        HANDLE held = INVALID_HANDLE_VALUE;
        if (row.held) {
            ASSERT_TRUE(CopyFileW(output_.c_str(), exe_.c_str(), FALSE));
            std::erase_if(run.Env, [](auto& pair) { return pair.first.ends_with(L"OUTPUT"); });
            run.Env.emplace_back(L"VEXMOR_LINK_UNATTENDED", L"1");
            // Readers may share it, nobody may replace it: a running copy of the program, say.
            held = CreateFileW(exe_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               0, nullptr);
        }
        const auto result = e2e::Run(run);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);

        EXPECT_EQ(row.held ? 1u : 0u, result.ExitCode);
        ASSERT_EQ(row.warned ? 1u : 0u, result.Boxes.size()) << e2e::Describe(result);
        if (row.warned) ExpectBox(result.Boxes[0], L"warning", exe_ + noRelocations);
        if (row.held) {
            EXPECT_EQ("stand-in linker: stderr\r\n" +
                          platform::ToCodePage(
                              L"Vexmor Link: error: " + exe_ +
                                  L" |  | Не удалось изменить параметры образа (шаг «параметры "
                                  L"образа»); файл остался без изменений. |  | Error number: 32 | "
                                  L"Description:  Файл открыт другой программой.\r\n",
                              GetOEMCP()),
                      result.StdErr);
        }
        EXPECT_EQ(row.fixedNo, Received().value_or(L"").ends_with(L" /FIXED:NO"));
        const std::string log =
            e2e::ReadAllBytes(Long(folder + L"Tool.LinkLog")).value_or("no log");
        EXPECT_EQ(row.noted, log.find("\r\n\r\nImage settings notes:\r\n") != std::string::npos);
        if (row.noted) {
            EXPECT_NE(std::string::npos,
                      log.find(Ansi(tsNote + exe_ + L" этот признак не установлен.")));
        }

        const Headers built = Read(exe_);
        EXPECT_EQ(linked.Flags | row.flags, built.Flags);
        EXPECT_EQ(linked.DllFlags | row.dllFlags, built.DllFlags);
        EXPECT_TRUE(built.SumRight);
        const auto bytes = e2e::ReadAllBytes(Long(exe_)).value_or("");
        const auto before = e2e::ReadAllBytes(output_).value_or("none");
        // Read in a copy: the loader's reader stops at MAX_PATH.
        ASSERT_TRUE(CopyFileW(Long(exe_).c_str(), (work_ + L"copy.exe").c_str(), FALSE));
        EXPECT_EQ(row.embedded, !e2e::ManifestResources(work_ + L"copy.exe").empty());
        if (!row.embedded) {
            EXPECT_EQ(Unflagged(before), Unflagged(bytes));
        }
        // Nothing to change: not written at all, so it keeps the time the linker wrote it.
        if (row.held || (!row.flags && !row.dllFlags && !row.embedded)) {
            EXPECT_EQ(before, bytes);
            EXPECT_EQ(std::filesystem::last_write_time(std::filesystem::path(output_)),
                      std::filesystem::last_write_time(std::filesystem::path(exe_)));
        }
    }
}

TEST_F(Image, ALargeAddressAwareProgramStillStartsAndGetsMemoryAbove2GB) {
    output_ = Fixture(L"ImageApp.exe");
    if (Read(output_).Machine != IMAGE_FILE_MACHINE_I386)
        GTEST_SKIP() << "the fixtures of this build are 64-bit programs: only a 32-bit process "
                        "has a 2 GB limit to lift";
    const std::uint32_t linked = Start(output_);
    if (linked != 2 && linked != 3)
        GTEST_SKIP() << "32-bit programs do not start here (exit code " << linked << ")";
    EXPECT_EQ(2u, linked) << "linked without the flag, it gets no memory above 2 GB";
    Project(L"Tool.LinkConfig", L"LARGEADDRESSAWARE");
    ASSERT_EQ(0u, Link(L"/OUT:" + exe_).ExitCode);
    EXPECT_EQ(3u, Start(exe_));
}
