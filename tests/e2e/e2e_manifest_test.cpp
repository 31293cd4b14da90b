// The manifest end to end: the stand-in linker writes a prepared output file, the program writes
// its manifest, and the platform's own activation-context loader judges what was written.
#include "ProgramFixture.h"
#include "manifest/TypeLibReaderChild.h"
#include "version/modFormatVersion.h"

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

// The manifest with its "Generated at:" value taken out, and that value.
std::pair<std::string, std::string> WithoutDate(const std::string& bytes) {
    const std::string label = "Generated at:";
    std::size_t at = bytes.find(label);
    if (at == std::string::npos) return {bytes, ""};
    std::size_t value = bytes.find_first_not_of(' ', at + label.size());
    std::size_t end = bytes.find("\r\n", value);
    return {bytes.substr(0, value) + "<date>" + bytes.substr(end),
            bytes.substr(value, end - value)};
}

// The activation context that the platform's side-by-side loader makes of the manifest, or
// INVALID_HANDLE_VALUE with the reason in GetLastError. The loader judges a copy as this
// process takes it (a 64-bit one has no x86 Common-Controls assembly).
HANDLE ActivationContext(const std::wstring& manifest, const std::wstring& copy) {
    e2e::WriteBytes(copy, e2e::ForThisPlatform(e2e::ReadBytes(manifest).value_or("")));
    ACTCTXW context{};
    context.cbSize = sizeof context;
    context.lpSource = copy.c_str();
    return CreateActCtxW(&context);
}

DWORD ActivationContextError(const std::wstring& manifest, const std::wstring& copy) {
    HANDLE handle = ActivationContext(manifest, copy);
    if (handle == INVALID_HANDLE_VALUE) return GetLastError();
    ReleaseActCtx(handle);
    return ERROR_SUCCESS;
}

// What the platform reads back from an activation context: the requested run level, the number
// of supported systems, and each Windows setting's value ("-" where it has none).
std::string SettingsReadBack(HANDLE context) {
    SIZE_T size = 0;
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level{};
    if (!QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext, &level,
                      sizeof level, &size)) {
        return "no run level: " + std::to_string(GetLastError());
    }
    std::string text = "level=" + std::to_string(level.RunLevel);
    // Wine answers in today's layout, whose elements carry a tested version that the
    // compiler's header does not know yet.
    struct Element {
        GUID Id;
        ACTCTX_COMPATIBILITY_ELEMENT_TYPE Type;
        ULONGLONG MaxVersionTested;
    };
    struct Compatibility {
        DWORD ElementCount;
        Element Elements[16];
    } compatibility{};
    if (!QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext,
                      &compatibility, sizeof compatibility, &size)) {
        return text + " no compatibility: " + std::to_string(GetLastError());
    }
    int systems = 0;
    for (DWORD i = 0; i < compatibility.ElementCount && i < 16; ++i)
        systems += compatibility.Elements[i].Type == ACTCTX_COMPATIBILITY_ELEMENT_TYPE_OS;
    text += " os=" + std::to_string(systems);
    const std::pair<const wchar_t*, const wchar_t*> settings[] = {{L"dpiAware", L"2005"},
                                                                  {L"dpiAwareness", L"2016"},
                                                                  {L"gdiScaling", L"2017"},
                                                                  {L"longPathAware", L"2016"},
                                                                  {L"activeCodePage", L"2019"}};
    for (const auto& [name, year] : settings) {
        const std::wstring ns =
            std::wstring(L"http://schemas.microsoft.com/SMI/") + year + L"/WindowsSettings";
        wchar_t value[64] = {};
        SIZE_T written = 0;
        const bool found =
            QueryActCtxSettingsW(0, context, ns.c_str(), name, value, 64, &written) != FALSE;
        text.append(" ").append(e2e::ToUtf8(name)).append("=");
        text.append(found ? e2e::ToUtf8(value) : std::string("-"));
    }
    return text;
}

// xmllint, the Linux one, started from inside Wine: a second parser that owes nothing to the
// platform's own. Wine hands a Unix program neither our pipes nor, afterwards, its exit code, so
// a shell writes both into a file: the exit code on the last line, xmllint's words before it.
// Nor does it wait for one: the file appears, by a rename, only when all is in it.
std::string XmlLint(const std::wstring& file) {
    using UnixName = char*(__cdecl*)(const wchar_t*);
    auto toUnix = reinterpret_cast<UnixName>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix) return "no wine_get_unix_file_name";
    auto unix = [&](const std::wstring& name) {
        char* converted = toUnix(name.c_str());
        std::wstring text = converted ? e2e::FromUtf8(converted) : L"";
        HeapFree(GetProcessHeap(), 0, converted);
        return text;
    };
    const std::wstring verdict = file + L".xmllint";
    DeleteFileW(verdict.c_str());
    const std::wstring done = unix(verdict), partial = done + L".part";
    std::wstring line = L"Z:\\bin\\sh -c \"xmllint --noout '" + unix(file) + L"' >'" + partial +
                        L"' 2>&1; echo $? >>'" + partial + L"'; mv '" + partial + L"' '" + done +
                        L"'\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return "the shell did not start";
    }
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return e2e::WaitForFile(verdict, std::chrono::seconds(10)).value_or("no verdict");
}

// A manifest of tests/golden (shared with the unit tests) as the program writes it for the
// fixture, its date taken out as WithoutDate does.
std::string Golden(const std::wstring& testsDir, const char* name) {
    const std::string text =
        e2e::ReadBytes(testsDir + L"golden\\" + e2e::FromUtf8(name)).value_or("");
    const std::size_t program = text.find("{program}"), date = text.find("{date}");
    if (program == std::string::npos || date == std::string::npos || date < program)
        return "no golden document";
    return text.substr(0, program) + e2e::ToUtf8(modFormatVersion::csFormatAppTitle(false)) +
           text.substr(program + 9, date - program - 9) + "<date>" + text.substr(date + 6);
}

class Manifest : public Program {
  protected:
    std::wstring ManifestPath() const { return exe_ + L".manifest"; }
    std::optional<std::string> Written() const { return e2e::ReadBytes(ManifestPath()); }
    // A post-build script that notes whether the manifest was there when it ran.
    void PostBuildChecksTheManifest() {
        e2e::WriteBytes(project_ + L"Tool.PostBuild.BAT",
                        Ansi(L"@echo off\r\nif exist \"%~1.manifest\" (echo post manifest>>\"" +
                             work_ + L"order.txt\") else (echo post none>>\"" + work_ +
                             L"order.txt\")\r\n"));
    }
    // The message for a reference that yields no identity, naming the resolved file.
    std::wstring NoIdentityText(const std::wstring& file) const {
        return exe_ +
               L"\r\n\r\nНе удалось сгенерировать манифест для файла. Функция: "
               L"GetDependencies().\r\n\r\nНе удалось получить элемент assemblyIdentity из файла "
               L"\"" +
               file + L"\".";
    }
    // Names in the project folder that the program may have left behind.
    std::vector<std::wstring> TemporaryFiles() {
        std::vector<std::wstring> names;
        for (const auto& entry : std::filesystem::directory_iterator(project_)) {
            auto name = entry.path().filename().wstring();
            if (name.rfind(L"vxl", 0) == 0) names.push_back(name);
        }
        return names;
    }
};

} // namespace

TEST_F(Manifest, AProgramGetsAManifestThatTheLoaderAccepts) {
    Project(L"Tool.LinkConfig", L"");
    PostBuildChecksTheManifest();
    auto result = Link(L"/SUBSYSTEM:WINDOWS /OUT:\"" + exe_ + L"\" main.obj");
    EXPECT_EQ(0u, result.ExitCode);
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    // Written before the post-build script runs.
    EXPECT_EQ("link\r\npost manifest\r\n", Order());

    auto bytes = Written();
    ASSERT_TRUE(bytes);
    EXPECT_EQ(0u, bytes->size() % 4);
    auto [text, date] = WithoutDate(*bytes);
    std::size_t padding = bytes->size() - bytes->rfind("</assembly>\r\n") - 13;
    EXPECT_EQ(Golden(testsDir_, "program.manifest") + std::string(padding, ' '), text);
    EXPECT_LT(padding, 4u);
    EXPECT_FALSE(date.empty());
    EXPECT_EQ("0\n", XmlLint(ManifestPath()));
    // The same check says no to a manifest that is not well-formed.
    e2e::WriteBytes(work_ + L"broken.manifest", bytes->substr(0, bytes->size() / 2));
    const std::string verdict = XmlLint(work_ + L"broken.manifest");
    EXPECT_NE(std::string::npos, verdict.find("parser error")) << verdict;
    EXPECT_EQ("1\n", verdict.substr(verdict.size() - 2)) << verdict;
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              ActivationContextError(ManifestPath(), work_ + L"judged.manifest"));
    EXPECT_TRUE(TemporaryFiles().empty());
}

TEST_F(Manifest, AdminAndNoHiDpiShapeTheProgramsManifestAndTheLoaderStillAcceptsIt) {
    Project(L"Tool.LinkConfig", L"ADMIN\r\nNOHIDPI");
    auto result = Link(L"/OUT:" + exe_);
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    const std::string golden = Golden(testsDir_, "admin-nohidpi.manifest");
    EXPECT_EQ(golden, WithoutDate(Written().value_or("")).first.substr(0, golden.size()));
    EXPECT_EQ("0\n", XmlLint(ManifestPath()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              ActivationContextError(ManifestPath(), work_ + L"judged.manifest"));
}

// Each program setting as written (the golden document of the unit tests) and as the platform
// reads it back from the manifest.
TEST_F(Manifest, TheSettingsForTodaysWindowsAreReadBackByThePlatform) {
    const struct {
        const wchar_t* Options;
        const char* Golden;
        const char* ReadBack;
    } rows[] = {
        {L"ASINVOKER\r\nSUPPORTEDOS\r\nDPI:SYSTEM\r\nGDISCALING\r\nLONGPATHS\r\nUTF8",
         "all.manifest",
         "level=1 os=5 dpiAware=true dpiAwareness=- gdiScaling=true longPathAware=true "
         "activeCodePage=UTF-8"},
        {L"HIGHESTAVAILABLE", "highestavailable.manifest",
         "level=2 os=0 dpiAware=true dpiAwareness=PerMonitorV2 gdiScaling=- longPathAware=- "
         "activeCodePage=-"},
        {L"ASINVOKER\r\nADMIN", "admin.manifest",
         "level=3 os=0 dpiAware=true dpiAwareness=PerMonitorV2 gdiScaling=- longPathAware=- "
         "activeCodePage=-"},
        {L"NOHIDPI\r\nLONGPATHS", "nohidpi-longpaths.manifest",
         "level=0 os=0 dpiAware=- dpiAwareness=- gdiScaling=- longPathAware=true "
         "activeCodePage=-"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.Golden);
        Project(L"Tool.LinkConfig", row.Options);
        auto result = Link(L"/OUT:" + exe_);
        EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
        const std::string golden = Golden(testsDir_, row.Golden);
        const std::string written = Written().value_or("");
        EXPECT_EQ(golden, WithoutDate(written).first.substr(0, golden.size()));
        EXPECT_EQ("0\n", XmlLint(ManifestPath()));
        HANDLE context = ActivationContext(ManifestPath(), work_ + L"judged.manifest");
        ASSERT_NE(INVALID_HANDLE_VALUE, context) << GetLastError();
        EXPECT_EQ(row.ReadBack, SettingsReadBack(context));
        ReleaseActCtx(context);
    }
}

TEST_F(Manifest, ALibraryGetsOneOnlyWhenAskedAndNoManifestAlwaysWins) {
    output_ = testsDir_ + L"version\\Library.dll";
    // As build tools write the line: the whole switch quoted, in a folder with blanks, /DLL last.
    project_ = work_ + L"My Project\\";
    std::filesystem::create_directories(std::filesystem::path(project_));
    exe_ = project_ + L"Tool.dll";
    struct Case {
        const wchar_t* options;
        bool written;
    } cases[] = {{L"", false}, {L"MANIFEST", true}, {L"MANIFEST\r\nNOMANIFEST", false}};
    for (const Case& c : cases) {
        DeleteFileW(ManifestPath().c_str());
        Project(L"Tool.LinkConfig", c.options);
        auto result = Link(L"main.obj \"/OUT:" + exe_ + L"\" /DLL");
        EXPECT_EQ(0u, result.ExitCode);
        EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
        EXPECT_EQ(c.written, Written().has_value()) << e2e::ToUtf8(c.options);
    }
    // The last written one is the library form, which the loader takes as it is.
    DeleteFileW(ManifestPath().c_str());
    Project(L"Tool.LinkConfig", L"MANIFEST");
    Link(L"main.obj \"/OUT:" + exe_ + L"\" /DLL");
    EXPECT_TRUE(e2e::ReadBytes(project_ + L"Tool.LinkLog"));
    auto bytes = Written();
    ASSERT_TRUE(bytes);
    EXPECT_NE(std::string::npos, bytes->find("\r\nLibrary title:   Vexmor fixture library\r\n"));
    EXPECT_NE(std::string::npos,
              bytes->find("name=\"Tool.dll\"\r\n                    version=\"3.4.0.0\" />"));
    EXPECT_EQ(std::string::npos, bytes->find("Common-Controls"));
    EXPECT_EQ("0\n", XmlLint(ManifestPath()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              ActivationContextError(ManifestPath(), work_ + L"judged.manifest"));
}

TEST_F(Manifest, NoManifestForAProgramThatAsksForNoneOrAFailedLink) {
    Project(L"Tool.LinkConfig", L"NOMANIFEST");
    auto result = Link(L"/OUT:" + exe_);
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    EXPECT_FALSE(Written());

    Project(L"Tool.LinkConfig", L"MANIFEST");
    linkerExit_ = 1;
    result = Link(L"/OUT:" + exe_);
    EXPECT_EQ(1u, result.ExitCode);
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    EXPECT_FALSE(Written());
}

TEST_F(Manifest, AFileWithoutVersionResourceKeepsTheEarlierManifestAndTheBuildGoesOn) {
    output_ = testsDir_ + L"version\\NoResource.exe";
    Project(L"Tool.LinkConfig", L"");
    e2e::WriteBytes(ManifestPath(), "earlier manifest");
    PostBuildChecksTheManifest();
    auto result = Link(L"/OUT:" + exe_);
    EXPECT_EQ(0u, result.ExitCode);
    ASSERT_EQ(1u, result.Boxes.size()) << e2e::Describe(result);
    ExpectBox(result.Boxes[0], L"error",
              exe_ + L"\r\n\r\nНе удалось сгенерировать манифест для файла. Функция: "
                     L"GetManifestBody().\r\n\r\nНе удалось получить информацию о версии файла");
    EXPECT_EQ("earlier manifest", Written());
    EXPECT_EQ("link\r\npost manifest\r\n", Order());
}

TEST_F(Manifest, ABrokenTypeLibraryIsReportedAndNoManifestIsWritten) {
    output_ = testsDir_ + L"BrokenTypeLib.dll";
    exe_ = project_ + L"Tool.dll";
    Project(L"Tool.LinkConfig", L"MANIFEST");
    auto result = Link(L"x.obj /DLL /OUT:\"" + exe_ + L"\"");
    EXPECT_EQ(0u, result.ExitCode);
    ASSERT_EQ(1u, result.Boxes.size()) << e2e::Describe(result);
    const auto& box = result.Boxes[0];
    const std::wstring head =
        exe_ + L"\r\n\r\nНе удалось загрузить библиотеку типов из файла.\r\n\r\n";
    EXPECT_EQ(head, box.Text.substr(0, head.size()));
    EXPECT_GT(box.Text.size(), head.size()); // the system's description follows
    EXPECT_EQ(L"error", box.Icon);
    EXPECT_EQ(kTitle, box.Caption);
    EXPECT_FALSE(Written());
}

TEST_F(Manifest, ALockedManifestIsReportedTheOldOneStaysAndTheBuildGoesOn) {
    Project(L"Tool.LinkConfig", L"");
    e2e::WriteBytes(ManifestPath(), "earlier manifest");
    PostBuildChecksTheManifest();
    linkerExit_ = 0;
    e2e::RunResult result;
    {
        HeldOpen held(ManifestPath());
        ASSERT_TRUE(held.Ok());
        result = Link(L"/OUT:" + exe_);
    }
    EXPECT_EQ(0u, result.ExitCode);
    ASSERT_EQ(1u, result.Boxes.size()) << e2e::Describe(result);
    const auto& box = result.Boxes[0];
    // Whichever error the platform gives for a replaced file held open, the user reads that
    // another program has it open.
    EXPECT_EQ(ManifestPath() +
                  L"\r\n\r\nВо время записи манифеста возникла ошибка.\r\n\r\nError number: 32\r\n"
                  L"Description:  Файл манифеста открыт другой программой и не может быть "
                  L"заменён.",
              box.Text);
    EXPECT_EQ(L"error", box.Icon);
    EXPECT_FALSE(box.HasCancel);
    EXPECT_EQ("earlier manifest", Written());
    EXPECT_EQ("link\r\npost manifest\r\n", Order());
    EXPECT_TRUE(TemporaryFiles().empty());
}

TEST_F(Manifest, ACOMLibraryDeclaresItsClassesAndTheLoaderAcceptsThem) {
    output_ = testsDir_ + L"ComFixture.dll";
    exe_ = project_ + L"ComFixture.dll";
    e2e::WriteBytes(project_ + L"ComFixture.LinkConfig", "MANIFEST");
    auto result = Link(L"x.obj /DLL /OUT:\"" + exe_ + L"\"");
    EXPECT_EQ(0u, result.ExitCode);
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    auto bytes = Written();
    ASSERT_TRUE(bytes);
    EXPECT_NE(std::string::npos, bytes->find("  <file name=\"ComFixture.dll\">\r\n    \r\n"
                                             "    <comClass clsid=\"{"));
    EXPECT_NE(std::string::npos, bytes->find("             version=\"2.15\"\r\n"));
    EXPECT_NE(std::string::npos,
              bytes->find("proxyStubClsid32=\"{00020420-0000-0000-C000-000000000046}\""));
    EXPECT_NE(std::string::npos,
              bytes->find("proxyStubClsid32=\"{00020424-0000-0000-C000-000000000046}\""));
    EXPECT_EQ("0\n", XmlLint(ManifestPath()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              ActivationContextError(ManifestPath(), work_ + L"judged.manifest"));
}

TEST_F(Manifest, AReferenceCopiesTheIdentityOfTheLibraryThisProgramBuilt) {
    // First the library, in a folder below the program's, with its own manifest.
    const std::wstring lib = project_ + L"lib\\";
    std::filesystem::create_directories(std::filesystem::path(lib));
    e2e::WriteBytes(lib + L"ComFixture.LinkConfig", "MANIFEST");
    output_ = testsDir_ + L"ComFixture.dll";
    auto result = Link(L"x.obj /DLL /OUT:\"" + lib + L"ComFixture.dll\"");
    ASSERT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    auto library = e2e::ReadBytes(lib + L"ComFixture.dll.manifest");
    ASSERT_TRUE(library);

    // Then the program, naming the library's manifest relative to its own folder, twice.
    output_ = testsDir_ + L"version\\App.exe";
    Project(L"Tool.LinkConfig", L"REF:lib\\ComFixture.dll.manifest\r\nNOHIDPI\r\nREF:.\\lib\\.."
                                L"\\lib\\ComFixture.dll.manifest");
    result = Link(L"/OUT:" + exe_, {});
    EXPECT_EQ(0u, result.ExitCode);
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    auto bytes = Written();
    ASSERT_TRUE(bytes);
    const std::string block = Lines({
        "  <dependency>",
        "    <dependentAssembly>",
        R"(      <assemblyIdentity type="win32")",
        R"(                        processorArchitecture="X86")",
        R"(                        name="ComFixture.dll")",
        R"(                        version="1.2.0.0" />)",
        "    </dependentAssembly>",
        "  </dependency>",
        "  ",
    });
    EXPECT_NE(
        std::string::npos,
        bytes->find("language=\"*\" />\r\n    </dependentAssembly>\r\n  </dependency>\r\n  \r\n" +
                    block + block + "</assembly>\r\n"))
        << *bytes;
    EXPECT_EQ("0\n", XmlLint(ManifestPath()));

    // The loader resolves the dependency from the program's folder, where the library sits.
    const std::wstring app = work_ + L"app\\";
    std::filesystem::create_directories(std::filesystem::path(app));
    ASSERT_TRUE(
        CopyFileW((lib + L"ComFixture.dll").c_str(), (app + L"ComFixture.dll").c_str(), FALSE));
    EXPECT_EQ(
        static_cast<DWORD>(ERROR_SUCCESS),
        ActivationContextError(lib + L"ComFixture.dll.manifest", app + L"ComFixture.dll.manifest"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
              ActivationContextError(ManifestPath(), app + L"Tool.exe.manifest"));
    // Without the library beside it the dependency cannot be satisfied.
    DeleteFileW((app + L"ComFixture.dll.manifest").c_str());
    EXPECT_NE(static_cast<DWORD>(ERROR_SUCCESS),
              ActivationContextError(ManifestPath(), app + L"Tool.exe.manifest"));
}

TEST_F(Manifest, AMissingReferenceStopsTheManifestAndTheBuildGoesOn) {
    Project(L"Tool.LinkConfig", L"REF:..\\Shared\\Missing.manifest");
    e2e::WriteBytes(ManifestPath(), "earlier manifest");
    PostBuildChecksTheManifest();
    auto result = Link(L"/OUT:" + exe_);
    EXPECT_EQ(0u, result.ExitCode);
    ASSERT_EQ(1u, result.Boxes.size()) << e2e::Describe(result);
    ExpectBox(result.Boxes[0], L"error", NoIdentityText(work_ + L"Shared\\Missing.manifest"));
    EXPECT_EQ("earlier manifest", Written());
    EXPECT_EQ("link\r\npost manifest\r\n", Order());
}

// Whatever a version resource or a referenced manifest holds, what is written is a manifest that
// xmllint and the loader take, or nothing at all, the earlier one kept.
TEST_F(Manifest, HostileInputsNeverMakeAManifestThatAParserRefuses) {
    const std::string head = R"(<?xml version="1.0" encoding="UTF-8"?>)";
    const std::string ns =
        R"(<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">)";
    e2e::WriteBytes(project_ + L"Entity.manifest",
                    head + R"(<!DOCTYPE assembly [<!ENTITY n "Vexmor.Shared">]>)" + ns +
                        R"(<assemblyIdentity type="win32" name="&n;" xmlns:x="urn:x" x:note="a")"
                        R"( version="1.0.0.0" processorArchitecture="X86"/></assembly>)");
    e2e::WriteBytes(project_ + L"NoVersion.manifest",
                    head + ns +
                        R"(<assemblyIdentity type="win32" name="Vexmor.Shared"/></assembly>)");
    // The assembly that the references name, where the loader looks for it.
    const std::wstring app = work_ + L"app\\";
    std::filesystem::create_directories(std::filesystem::path(app));
    e2e::WriteBytes(app + L"Vexmor.Shared.manifest",
                    head + ns +
                        R"(<assemblyIdentity type="win32" name="Vexmor.Shared")"
                        R"( version="1.0.0.0" processorArchitecture=")" +
                        e2e::kArchitecture + R"("/></assembly>)");
    const struct {
        const wchar_t* output;
        const wchar_t* options;
        std::vector<std::string> holds; // in the written manifest; none: nothing is written
    } rows[] = {
        {L"Hostile.exe",
         L"",
         {"Application title:   Bell\xEF\xBF\xBD  Tab <&>\xEF\xBF\xBD- -\xEF\xBF\xBD\r\n",
          "<description>Bell\xEF\xBF\xBD\r\nTab\t&lt;&amp;&gt;\xEF\xBF\xBD--"}},
        {L"App.exe",
         L"REF:\"Entity.manifest\"",
         {"<assemblyIdentity type=\"win32\"\r\n" + std::string(24, ' ') +
          "name=\"Vexmor.Shared\""}},
        {L"App.exe", L"REF:NoVersion.manifest", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(e2e::ToUtf8(row.output) + " " + e2e::ToUtf8(row.options));
        output_ = testsDir_ + L"version\\" + row.output;
        Project(L"Tool.LinkConfig", row.options);
        e2e::WriteBytes(ManifestPath(), "earlier manifest");
        auto result = Link(L"/OUT:" + exe_);
        EXPECT_EQ(0u, result.ExitCode);
        if (row.holds.empty()) {
            ASSERT_EQ(1u, result.Boxes.size()) << e2e::Describe(result);
            ExpectBox(result.Boxes[0], L"error", NoIdentityText(project_ + L"NoVersion.manifest"));
            EXPECT_EQ("earlier manifest", Written());
            continue;
        }
        EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
        const std::string bytes = Written().value_or("");
        for (const std::string& part : row.holds)
            EXPECT_NE(std::string::npos, bytes.find(part)) << bytes;
        EXPECT_EQ(std::string::npos, bytes.find("x:note"));
        EXPECT_EQ("0\n", XmlLint(ManifestPath()));
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
                  ActivationContextError(ManifestPath(), app + L"Tool.exe.manifest"));
    }
}

// Components that cannot be described stop the manifest under GetComponents, naming the file;
// a line naming the output itself, a repeat and a component outside the output's folder do not.
TEST_F(Manifest, ComponentLinesThatCannotBeDescribedStopTheManifestOthersAreNotes) {
    std::filesystem::create_directories(std::filesystem::path(work_ + L"other"));
    for (const wchar_t* to : {L"project\\ComFixture.dll", L"other\\ComFixture.dll",
                              L"other\\DualChain.dll", L"project\\BrokenTypeLib.dll"}) {
        const std::wstring from = std::filesystem::path(to).filename().wstring();
        ASSERT_TRUE(CopyFileW(Tool(from.c_str()).c_str(), (work_ + to).c_str(), FALSE));
    }
    const std::wstring stop = exe_ + L"\r\n\r\nНе удалось сгенерировать манифест для файла. "
                                     L"Функция: GetComponents().\r\n\r\n";
    const struct {
        const wchar_t* Options;
        std::wstring Box; // the message's start; none: a manifest is written
    } rows[] = {
        {L"COM:Missing.dll",
         stop + L"Компонент \"" + project_ + L"Missing.dll\" не найден или не является файлом."},
        {L"COMTLB:BrokenTypeLib.dll", stop +
                                          L"Не удалось загрузить библиотеку типов из "
                                          L"компонента \"" +
                                          project_ + L"BrokenTypeLib.dll\": "},
        {L"COMTLB:ComFixture.dll\r\nCOMTLB:..\\other\\ComFixture.dll",
         stop + L"Компоненты \"" + project_ + L"ComFixture.dll\" и \"" + work_ +
             L"other\\ComFixture.dll\" получили бы в манифесте одно имя файла "
             L"\"ComFixture.dll\"."},
        {L"COMTLB:Tool.exe\r\nCOMTLB:ComFixture.dll\r\nCOMTLB:COMFIXTURE.DLL\r\n"
         L"COMTLB:..\\other\\DualChain.dll",
         L""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(e2e::ToUtf8(row.Options));
        DeleteFileW(ManifestPath().c_str());
        Project(L"Tool.LinkConfig", row.Options);
        auto result = Link(L"/OUT:\"" + exe_ + L"\"");
        EXPECT_EQ(0u, result.ExitCode);
        if (!row.Box.empty()) {
            ASSERT_EQ(1u, result.Boxes.size()) << e2e::Describe(result);
            EXPECT_EQ(0u, result.Boxes[0].Text.find(row.Box)) << e2e::ToUtf8(result.Boxes[0].Text);
            EXPECT_FALSE(Written());
            continue;
        }
        EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
        const std::string text = Written().value_or("");
        const std::size_t section = text.find("<file name=\"ComFixture.dll\">");
        EXPECT_TRUE(section != std::string::npos &&
                    section == text.rfind("<file name=\"ComFixture"));
        EXPECT_NE(std::string::npos, text.find("<file name=\"DualChain.dll\">"));
        EXPECT_EQ("0\n", XmlLint(ManifestPath()));
        const std::wstring log =
            platform::FromAnsi(e2e::ReadBytes(project_ + L"Tool.LinkLog").value_or(""));
        EXPECT_NE(std::wstring::npos,
                  log.find(L"\r\n\r\nManifest notes:\r\nCOMTLB: называет сам выходной файл \"" +
                           exe_ + L"\"; строка пропущена.\r\nКомпонент \"" + work_ +
                           L"other\\DualChain.dll\" лежит вне папки выходного файла"))
            << e2e::ToUtf8(log);
    }
}

// The reading process works while the build runs and is gone before the scripts after the link:
// a component that the pre-build script puts in place is read as it is then; a crash during the
// link is a note; a compress script rewrites the output and every component in place; a failed
// link leaves nothing of the reading behind.
TEST_F(Manifest, TheReadingWorksDuringTheBuildAndIsGoneBeforeTheScripts) {
    output_ = Tool(L"ComFixture.dll");
    exe_ = project_ + L"Tool.dll";
    for (const wchar_t* name : {L"ComRegFixture.dll", L"ComRegCrash.dll"})
        ASSERT_TRUE(CopyFileW(Tool(name).c_str(), (project_ + name).c_str(), FALSE));
    ASSERT_TRUE(
        CopyFileW(Tool(L"DualChain.dll").c_str(), (work_ + L"DualChain.dll").c_str(), FALSE));
    Project(L"Tool.LinkConfig", L"MANIFEST\r\nCOMPRESS\r\nCOM:ComRegCrash.dll\r\n"
                                L"COMTLB:Late.dll\r\nCOM:ComRegFixture.dll");
    e2e::WriteBytes(
        project_ + L"Tool.PreBuild.BAT",
        Ansi(L"@copy /y \"" + work_ + L"DualChain.dll\" \"" + project_ + L"Late.dll\" >nul\r\n"));
    // In place, as a packer does: each file opened with no sharing and written over. (Wine lets
    // a loaded module be written over: the reading process must be gone besides.)
    const std::wstring probe = L"\"" + Tool(L"BoxProbe.exe") + L"\" ";
    e2e::WriteBytes(project_ + L"Tool.Compress.BAT",
                    Ansi(L"@echo off\r\ncd /d \"%~dp1\"\r\n" + probe + L"absent " +
                         TypeLibReaderChild::kProgramName +
                         L"\r\nif not errorlevel 10 exit /b 1\r\nfor %%F in (\"%~nx1\" "
                         L"Late.dll ComRegFixture.dll ComRegCrash.dll) do (\r\n  " +
                         probe +
                         L"rewrite %%F\r\n  if not errorlevel 10 exit /b 1\r\n)\r\nexit /b 0\r\n"));
    auto options =
        LinkOptions(e2e::QuoteArgument(bin_ + L"VexmorLink.exe") + L" /DLL /OUT:\"" + exe_ + L"\"");
    options.Env.push_back({L"VEXMOR_STANDIN_SLEEP_MS", L"1500"});
    auto result = e2e::Run(options);
    EXPECT_EQ(0u, result.ExitCode);
    EXPECT_TRUE(result.Boxes.empty()) << e2e::Describe(result);
    const std::string text = Written().value_or("");
    // The library that the pre-build script put in place.
    const std::size_t component = text.find("<file name=\"Late.dll\">");
    EXPECT_NE(std::string::npos, text.find("tlbid=\"{2F8C6A91-", component)) << text;
    EXPECT_NE(std::string::npos, text.find("<file name=\"ComRegFixture.dll\">"));
    EXPECT_NE(std::string::npos,
              platform::FromAnsi(e2e::ReadBytes(project_ + L"Tool.LinkLog").value_or(""))
                  .find(L"ComRegCrash.dll\" прервана исключением 0xC0000005"));

    // The link fails: nothing read ahead stays, no process, scratch key or temporary file.
    options.Env.push_back({L"VEXMOR_STANDIN_EXIT", L"1"});
    DeleteFileW(ManifestPath().c_str());
    DeleteFileW((project_ + L"Tool.PreBuild.BAT").c_str());
    std::filesystem::remove_all(std::filesystem::path(temp_));
    std::filesystem::create_directories(std::filesystem::path(temp_));
    result = e2e::Run(options);
    EXPECT_EQ(1u, result.ExitCode);
    EXPECT_FALSE(Written());
    const wchar_t* kReader = TypeLibReaderChild::kProgramName;
    EXPECT_EQ(0u, e2e::FindChild(0, kReader));
    EXPECT_EQ(0u, e2e::FindChild(0, L"VexmorLink.exe"));
    HKEY software = nullptr;
    RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &software);
    wchar_t name[256];
    for (DWORD i = 0, size = 256; RegEnumKeyExW(software, i, name, &size, nullptr, nullptr, nullptr,
                                                nullptr) == ERROR_SUCCESS;
         ++i, size = 256)
        EXPECT_NE(0, std::wcsncmp(name, L"VexmorLink.Scratch.", 19)) << e2e::ToUtf8(name);
    RegCloseKey(software);
    EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(temp_)));

    // The program is ended in the middle of the link, as an environment stops its linker: the
    // reading process, with a registration that never returns, goes with it.
    ASSERT_TRUE(
        CopyFileW(Tool(L"ComRegHang.dll").c_str(), (project_ + L"Hang.dll").c_str(), FALSE));
    Project(L"Tool.LinkConfig", L"MANIFEST\r\nCOM:Hang.dll");
    e2e::ScopedEnv slow(L"VEXMOR_STANDIN_SLEEP_MS", L"20000");
    std::wstring line = options.CommandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION program{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &program));
    auto waitFor = [](auto done) {
        for (int i = 0; i < 200 && !done(); ++i) Sleep(50);
        return done();
    };
    EXPECT_TRUE(waitFor([&] { return e2e::FindChild(program.dwProcessId, kReader) != 0; }));
    Sleep(1500); // until the registration hangs
    TerminateProcess(program.hProcess, 1);
    WaitForSingleObject(program.hProcess, INFINITE);
    EXPECT_TRUE(waitFor([&] { return e2e::FindChild(0, kReader) == 0; }));
    if (DWORD linker = e2e::FindChild(program.dwProcessId, L"LINK2.EXE")) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, linker);
        TerminateProcess(process, 1);
        CloseHandle(process);
    }
    CloseHandle(program.hThread);
    CloseHandle(program.hProcess);
}
