// The image settings end to end: flags and checksum as the platform reads them, the rest of the
// file as linked, a 32-bit program given the memory above 2 GB.
#include "ProgramFixture.h"

#include <imagehlp.h>

namespace {

constexpr WORD kLarge = IMAGE_FILE_LARGE_ADDRESS_AWARE, kNx = IMAGE_DLLCHARACTERISTICS_NX_COMPAT,
               kAslr = IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE,
               kTs = IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE;

std::wstring Long(const std::wstring& path) {
    return path.size() >= 240 ? L"\\\\?\\" + path : path;
}

// The file's headers as the platform finds them, and whether it computes the stored checksum.
struct Headers {
    WORD Machine = 0, Flags = 0, DllFlags = 0;
    bool SumRight = false;
    std::string Bytes; // with the flags and the checksum blanked out
};
Headers Read(const std::wstring& path) {
    Headers file{.Bytes = e2e::ReadAllBytes(Long(path)).value_or("")};
    if (IMAGE_NT_HEADERS* nt = file.Bytes.empty() ? nullptr : ImageNtHeader(file.Bytes.data())) {
        file.Machine = nt->FileHeader.Machine;
        file.Flags = std::exchange(nt->FileHeader.Characteristics, 0);
        file.DllFlags = std::exchange(nt->OptionalHeader.DllCharacteristics, 0);
        nt->OptionalHeader.CheckSum = 0;
    }
    DWORD stored = 0, computed = 0;
    file.SumRight = MapFileAndCheckSumW(Long(path).c_str(), &stored, &computed) == 0 &&
                    stored == computed && stored != 0;
    return file;
}

} // namespace

TEST_F(Program, ImageSettingsSetTheFlagsAskedForKeepTheRestAndTheChecksumRight) {
    // Marks: a box, a note, /FIXED:NO, a manifest resource, held open (unattended), a deep path.
    const struct {
        const wchar_t* fixture;
        std::wstring options;
        WORD flags, dllFlags; // set by the step
        std::string marks;
    } rows[] = {
        {L"ImageApp.exe", L"LARGEADDRESSAWARE\r\nNXCOMPAT\r\nTSAWARE", kLarge, kNx | kTs, ""},
        {L"ImageApp.exe", L"DYNAMICBASE", 0, 0, "warning fixed"},
        {L"ImageLibrary.dll", L"LARGEADDRESSAWARE\r\nNXCOMPAT\r\nDYNAMICBASE\r\nTSAWARE", kLarge,
         kNx | kAslr, "note fixed"},
        {L"ImageApp.exe", L"EMBED", 0, 0, "embedded"},
        {L"ImageApp.exe", L"NXCOMPAT", 0, 0, "held"},
        {L"ImageRelocated.exe", L"EMBED\r\nLARGEADDRESSAWARE\r\nDYNAMICBASE", kLarge, kAslr,
         "fixed embedded deep"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << (&row - rows) << " " << e2e::ToUtf8(row.options));
        auto marked = [&](const char* mark) { return row.marks.find(mark) != row.marks.npos; };
        output_ = testsDir_ + L"image\\" + row.fixture;
        const Headers linked = Read(output_);
        ASSERT_TRUE(linked.SumRight);
        // Each flag was clear, but the large address space that 64-bit linkers always give.
        EXPECT_EQ(0, (linked.Machine == IMAGE_FILE_MACHINE_I386 ? linked.Flags & row.flags : 0) |
                         (linked.DllFlags & row.dllFlags));

        std::wstring folder = work_ + L"p" + std::to_wstring(&row - rows) + L"\\";
        for (int level = 0; marked("deep") && level < 3; ++level)
            folder += std::wstring(90, L'd') + L"\\";
        std::filesystem::create_directories(std::filesystem::path(Long(folder)));
        const bool library = std::wstring(row.fixture).ends_with(L".dll");
        exe_ = folder + (library ? L"Tool.dll" : L"Tool.exe");
        e2e::WriteBytes(Long(folder + L"Tool.LinkConfig"), Ansi(row.options));
        auto run = LinkOptions(e2e::QuoteArgument(bin_ + L"VexmorLink.exe") +
                               (library ? L" /DLL" : L"") + L" x.obj /OUT:\"" + exe_ + L"\"");
        HANDLE held = INVALID_HANDLE_VALUE;
        if (marked("held")) {
            ASSERT_TRUE(CopyFileW(output_.c_str(), exe_.c_str(), FALSE));
            std::erase_if(run.Env, [](auto& pair) { return pair.first.ends_with(L"OUTPUT"); });
            run.Env.emplace_back(L"VEXMOR_LINK_UNATTENDED", L"1");
            held = CreateFileW(exe_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               0, nullptr);
        }
        const auto result = e2e::Run(run);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);

        EXPECT_EQ(marked("held") ? 1u : 0u, result.ExitCode);
        const std::wstring failure = L" |  | Не удалось изменить параметры образа (шаг «параметры "
                                     L"образа»); файл остался без изменений. |  | Error number: "
                                     L"32 | Description:  Файл открыт другой программой.\r\n";
        EXPECT_EQ(marked("held"), result.StdErr.ends_with(platform::ToCodePage(
                                      L"error: " + exe_ + failure, GetOEMCP())));
        ASSERT_EQ(marked("warning") ? 1u : 0u, result.Boxes.size()) << e2e::Describe(result);
        if (marked("warning"))
            ExpectBox(result.Boxes[0], L"warning",
                      exe_ + L"\r\n\r\nВ файле нет таблицы перемещений, поэтому признак "
                             L"DYNAMICBASE (ASLR) не установлен: Windows будет загружать файл "
                             L"только по его базовому адресу. Обычно таблицу перемещений "
                             L"убирает ключ /FIXED в командной строке компоновщика.");
        EXPECT_EQ(marked("fixed"), Received().value_or(L"").ends_with(L" /FIXED:NO"));
        const auto log = e2e::ReadAllBytes(Long(folder + L"Tool.LinkLog")).value_or("");
        EXPECT_EQ(marked("note"), log.ends_with(Ansi(L"Image settings notes:\r\nTSAWARE действует "
                                                     L"только для программ: у библиотеки " +
                                                     exe_ + L" этот признак не установлен.")));

        const Headers built = Read(exe_);
        EXPECT_EQ(linked.Flags | row.flags, built.Flags);
        EXPECT_EQ(linked.DllFlags | row.dllFlags, built.DllFlags);
        EXPECT_TRUE(built.SumRight);
        // Read in a copy: the loader's reader stops at MAX_PATH.
        ASSERT_TRUE(CopyFileW(Long(exe_).c_str(), (work_ + L"copy.exe").c_str(), FALSE));
        EXPECT_EQ(marked("embedded"), !e2e::ManifestResources(work_ + L"copy.exe").empty());
        EXPECT_TRUE(marked("embedded") || linked.Bytes == built.Bytes) << "more than the flags";
        // Nothing to change: not written at all, so it keeps the time the linker gave it.
        if (!row.flags && !row.dllFlags && !marked("embedded")) {
            EXPECT_EQ(std::filesystem::last_write_time(std::filesystem::path(output_)),
                      std::filesystem::last_write_time(std::filesystem::path(exe_)));
        }
    }
}

TEST_F(Program, ALargeAddressAwareProgramStillStartsAndGetsMemoryAbove2GB) {
    output_ = testsDir_ + L"image\\ImageApp.exe";
    if (Read(output_).Machine != IMAGE_FILE_MACHINE_I386)
        GTEST_SKIP() << "the fixtures of this build are 64-bit programs: only a 32-bit process "
                        "has a 2 GB limit to lift";
    auto start = [&](auto& exe) { return e2e::Run(Options(e2e::QuoteArgument(exe))).ExitCode; };
    EXPECT_EQ(2u, start(output_)) << "linked without the flag, it gets no memory above 2 GB";
    Project(L"Tool.LinkConfig", L"LARGEADDRESSAWARE");
    ASSERT_EQ(0u, Link(L"/OUT:" + exe_).ExitCode);
    EXPECT_EQ(3u, start(exe_));
}
