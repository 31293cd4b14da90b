// The type-library reader on real files built here: the fixture COM library (its view must match
// the identifiers written in ComFixture.idl), and the files it must refuse.
#include "ComFixtureIds.h"
#include "ComRegFixtureIds.h"
#include "TestFolders.h"
#include "manifest/ComRegistration.h"
#include "manifest/TypeLibReader.h"
#include "manifest/TypeLibReaderChild.h"
#include "support/AppError.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

namespace TypeLibReader {
// Names in failure messages instead of bytes.
void PrintTo(InterfaceKind kind, std::ostream* out) {
    *out << (kind == InterfaceKind::Dual           ? "Dual"
             : kind == InterfaceKind::DispatchOnly ? "DispatchOnly"
                                                   : "Custom");
}
} // namespace TypeLibReader

namespace {

using TypeLibReader::InterfaceKind;

const std::wstring kIUnknown = L"{00000000-0000-0000-C000-000000000046}";
const std::wstring kIDispatch = L"{00020400-0000-0000-C000-000000000046}";

// The test programs and the fixtures share one folder.
std::wstring TestDir() {
    return TestFolders::ProgramFolder().wstring() + L"\\";
}

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end()); // identifiers and names are ASCII
}

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

// Name -> identifier of every library, class and interface declared in the IDL, braced and in
// upper case as the reader gives them.
std::map<std::wstring, std::wstring> IdlIdentifiers() {
    std::ifstream in(std::filesystem::path(TestDir() + L"ComFixture.idl"));
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::regex declaration(R"(uuid\(([0-9A-Fa-f-]{36})\)[^\]]*\]\s*)"
                           R"((?:library|coclass|interface|dispinterface)\s+(\w+))");
    std::map<std::wstring, std::wstring> ids;
    for (std::sregex_iterator it(text.begin(), text.end(), declaration), end; it != end; ++it) {
        std::wstring id = L"{" + Widen((*it)[1]) + L"}";
        for (auto& c : id) c = static_cast<wchar_t>(towupper(c));
        ids[Widen((*it)[2])] = id;
    }
    return ids;
}

// The error of loading the file; its number goes into the test report, since the platform's
// numbers for these cases differ between Wine and Windows.
std::optional<AppError> LoadFailure(const std::wstring& file) {
    try {
        TypeLibReader::TypeLibInfoFromFile(file);
    } catch (const AppError& error) {
        char number[16] = {};
        std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(error.Number));
        testing::Test::RecordProperty("number", number);
        return error;
    }
    return std::nullopt;
}

bool KeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

class ComFixtureLibrary : public testing::Test {
  protected:
    void SetUp() override {
        ids_ = IdlIdentifiers();
        ASSERT_EQ(ids_.size(), 7u) << "ComFixture.idl beside the test: library, 3 classes, "
                                      "3 interfaces";
        file_ = TestDir() + L"ComFixture.dll";
        try {
            lib_ = TypeLibReader::TypeLibInfoFromFile(file_);
        } catch (const AppError& error) {
            FAIL() << "load failed: 0x" << std::hex << error.Number;
        }
    }

    std::map<std::wstring, std::wstring> ids_;
    std::wstring file_;
    std::shared_ptr<const TypeLibReader::TypeLibInfo> lib_;
};

TEST_F(ComFixtureLibrary, IdentifiesTheLibrary) {
    EXPECT_EQ(lib_->ContainingFile(), file_);
    EXPECT_EQ(lib_->Name(), L"VexmorComFixture");
    EXPECT_EQ(lib_->GUID(), ids_.at(L"VexmorComFixture"));
    EXPECT_EQ(lib_->MajorVersion(), 2);
    EXPECT_EQ(lib_->MinorVersion(), 15);
}

TEST_F(ComFixtureLibrary, ListsTheClassesInLibraryOrder) {
    ASSERT_EQ(lib_->CoClassCount(), 3u);
    const wchar_t* names[] = {L"VexCalculator", L"VexDoubler", L"VexGauge"};
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(lib_->CoClass(i).Name, names[i]);
        EXPECT_EQ(lib_->CoClass(i).GUID, ids_.at(names[i]));
        EXPECT_EQ(lib_->CoClass(i).IsControl, i == 2) << i;
    }
}

// The library lists the classes and interfaces interleaved (each class pulls in its interfaces),
// so the order also shows that the two index lists are kept apart.
TEST_F(ComFixtureLibrary, ListsEachInterfaceOnceInLibraryOrderWithKindAndBases) {
    struct Expected {
        std::wstring Name;
        InterfaceKind Kind;
        std::vector<std::wstring> Bases;
    };
    const std::vector<Expected> expected = {
        {L"IVexCalculator", InterfaceKind::Dual, {kIDispatch}},
        {L"DVexCalculatorEvents", InterfaceKind::DispatchOnly, {kIDispatch}},
        {L"IVexDoubler", InterfaceKind::Custom, {kIUnknown}},
    };
    ASSERT_EQ(lib_->InterfaceCount(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        auto info = lib_->Interface(i);
        EXPECT_EQ(info.Name, expected[i].Name);
        EXPECT_EQ(info.GUID, ids_.at(expected[i].Name));
        EXPECT_EQ(info.Kind, expected[i].Kind);
        EXPECT_EQ(info.ImpliedInterfaces, expected[i].Bases);
    }
}

TEST_F(ComFixtureLibrary, GivesIdentifiersInBracedUpperCaseForm) {
    const std::wregex form(LR"(\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\})");
    EXPECT_TRUE(std::regex_match(lib_->GUID(), form)) << lib_->GUID();
    for (std::size_t i = 0; i < lib_->CoClassCount(); ++i)
        EXPECT_TRUE(std::regex_match(lib_->CoClass(i).GUID, form));
    for (std::size_t i = 0; i < lib_->InterfaceCount(); ++i) {
        auto info = lib_->Interface(i);
        EXPECT_TRUE(std::regex_match(info.GUID, form));
        for (const auto& base : info.ImpliedInterfaces) EXPECT_TRUE(std::regex_match(base, form));
    }
}

TEST_F(ComFixtureLibrary, RefusesAnIndexPastTheEnd) {
    EXPECT_THROW(lib_->CoClass(lib_->CoClassCount()), AppError);
    EXPECT_THROW(lib_->Interface(lib_->InterfaceCount()), AppError);
}

// Reading must not register the library or its classes: the manifest is the only registration.
TEST_F(ComFixtureLibrary, RegistersNothing) {
    EXPECT_FALSE(KeyExists(L"TypeLib\\" + ids_.at(L"VexmorComFixture")));
    EXPECT_FALSE(KeyExists(L"Interface\\" + ids_.at(L"IVexCalculator")));
    EXPECT_FALSE(KeyExists(L"Interface\\" + ids_.at(L"IVexDoubler")));
    EXPECT_FALSE(KeyExists(L"CLSID\\" + ids_.at(L"VexCalculator")));
}

// The client and the library are compiled with ComFixtureIds.h; it must say what the IDL says.
TEST_F(ComFixtureLibrary, AgreesWithTheIdentifiersTheClientUses) {
    EXPECT_EQ(GuidText(fixture::LIBID_VexmorComFixture), ids_.at(L"VexmorComFixture"));
    EXPECT_EQ(GuidText(fixture::IID_IVexCalculator), ids_.at(L"IVexCalculator"));
    EXPECT_EQ(GuidText(fixture::IID_IVexDoubler), ids_.at(L"IVexDoubler"));
    EXPECT_EQ(GuidText(fixture::DIID_DVexCalculatorEvents), ids_.at(L"DVexCalculatorEvents"));
    EXPECT_EQ(GuidText(fixture::CLSID_VexCalculator), ids_.at(L"VexCalculator"));
    EXPECT_EQ(GuidText(fixture::CLSID_VexDoubler), ids_.at(L"VexDoubler"));
}

TEST(TypeLibReaderFailures, SaysNoTypeLibraryForAProgramWithoutOne) {
    auto error = LoadFailure(TestDir() + L"NoTypeLib.exe");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number, TypeLibReader::kNoTypeLibNumber);
    EXPECT_FALSE(error->Description.empty());
}

// The platform cannot tell a broken library from a missing one; the reader must not call a
// broken one "no type library", or the user would look for the wrong fault.
TEST(TypeLibReaderFailures, ReportsTheLoadersNumberForABrokenTypeLibrary) {
    auto error = LoadFailure(TestDir() + L"BrokenTypeLib.dll");
    ASSERT_TRUE(error);
    EXPECT_NE(error->Number, TypeLibReader::kNoTypeLibNumber);
    EXPECT_TRUE(FAILED(static_cast<HRESULT>(error->Number))) << std::hex << error->Number;
    EXPECT_FALSE(error->Description.empty());
}

TEST(TypeLibReaderFailures, ReportsAMissingFileAsSuch) {
    auto error = LoadFailure(TestDir() + L"NoSuchLibrary.dll");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number, static_cast<std::uint32_t>(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)))
        << std::hex << error->Number;
    EXPECT_FALSE(error->Description.empty());
}

// A file that is no module, such as a bare type library, carries no type-library resource.
TEST(TypeLibReaderFailures, SaysNoTypeLibraryForAFileThatIsNoModule) {
    for (const wchar_t* name : {L"ComFixture.tlb", L"ComFixture.idl"}) {
        auto error = LoadFailure(TestDir() + name);
        ASSERT_TRUE(error) << name;
        EXPECT_EQ(error->Number, TypeLibReader::kNoTypeLibNumber) << name;
    }
}

// The platform's reader crashes on this library; only the reader child goes down, and its
// exception code comes back in the error.
TEST(TypeLibReaderFailures, ReportsACrashOfThePlatformsReaderWithItsCode) {
    auto error = LoadFailure(TestDir() + L"CorruptTypeLib.dll");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number, 0x80000003u) << std::hex << error->Number;
    EXPECT_EQ(error->Description, L"Чтение библиотеки типов прервано исключением 0x80000003.");
}

// A dual interface names the first base of its vtable half, not the IDispatch of its dispatch
// half.
TEST(TypeLibReaderDuals, NamesTheBaseOfTheVtableHalf) {
    auto lib = TypeLibReader::TypeLibInfoFromFile(TestDir() + L"DualChain.dll");
    const std::vector<std::vector<std::wstring>> expected = {
        {L"IVexShape", kIDispatch},
        {L"IVexSquare", L"{6A1F3C52-2B7D-4E0A-9C61-0D6F2E8B4A10}"},
    };
    ASSERT_EQ(lib->InterfaceCount(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        auto info = lib->Interface(i);
        EXPECT_EQ(info.Name, expected[i][0]);
        EXPECT_EQ(info.Kind, InterfaceKind::Dual);
        EXPECT_EQ(info.ImpliedInterfaces, std::vector<std::wstring>{expected[i][1]}) << i;
    }
}

// A library deep in folders whose full name is past the platform's old 260-character limit.
TEST(TypeLibReaderPaths, ReadsALibraryWhoseNameIsLong) {
    std::wstring folder = L"\\\\?\\" + TestDir() + L"long-path";
    CreateDirectoryW(folder.c_str(), nullptr);
    for (int i = 0; i < 3; ++i) {
        folder += L"\\" + std::wstring(90, static_cast<wchar_t>(L'a' + i));
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    const std::wstring copy = folder + L"\\ComFixture.dll";
    ASSERT_TRUE(CopyFileW((TestDir() + L"ComFixture.dll").c_str(), copy.c_str(), FALSE));
    const std::wstring plain = copy.substr(4); // as the linker's /OUT: names it
    ASSERT_GT(plain.size(), 300u);
    try {
        auto lib = TypeLibReader::TypeLibInfoFromFile(plain);
        EXPECT_EQ(lib->Name(), L"VexmorComFixture");
        EXPECT_EQ(lib->CoClassCount(), 3u);
        EXPECT_EQ(lib->ContainingFile(), plain);
    } catch (const AppError& error) {
        ADD_FAILURE() << std::hex << error.Number;
    }
    // A long name without a type library still says so.
    ASSERT_TRUE(
        CopyFileW((TestDir() + L"NoTypeLib.exe").c_str(), (folder + L"\\None.exe").c_str(), FALSE));
    auto error = LoadFailure(plain.substr(0, plain.rfind(L'\\')) + L"\\None.exe");
    ASSERT_TRUE(error);
    EXPECT_EQ(error->Number, TypeLibReader::kNoTypeLibNumber);
}

// --- components that misbehave while they register -------------------------------------------

std::wstring IdKey(const wchar_t* folder, const GUID& guid) {
    std::wstring text = GuidText(guid);
    for (auto& c : text) c = static_cast<wchar_t>(towupper(c));
    return std::wstring(folder) + L"\\" + text;
}

// The keys of the self-registering fixture that are in either registry view.
std::vector<std::wstring> FixtureKeysPresent() {
    return ComRegistration::ExistingKeys({IdKey(L"TypeLib", regfixture::LIBID_VexmorRegFixture),
                                          IdKey(L"CLSID", regfixture::CLSID_VexCounter),
                                          IdKey(L"Interface", regfixture::IID_IVexCounter)});
}

// What a reading process or a component started and left running, and scratch keys left.
std::vector<std::wstring> LeftBehind() {
    std::vector<std::wstring> left;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry)) {
        const bool reader = _wcsicmp(entry.szExeFile, L"TypeLibReader_test.exe") == 0 &&
                            entry.th32ProcessID != GetCurrentProcessId();
        if (reader || _wcsicmp(entry.szExeFile, L"rundll32.exe") == 0)
            left.push_back(entry.szExeFile);
    }
    CloseHandle(snapshot);
    HKEY software = nullptr;
    RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, &software);
    wchar_t name[256];
    for (DWORD i = 0, length = 256; RegEnumKeyExW(software, i, name, &length, nullptr, nullptr,
                                                  nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = 256) {
        if (std::wcsncmp(name, L"VexmorLink.Scratch.", 19) == 0) left.push_back(name);
    }
    RegCloseKey(software);
    return left;
}

// Each copy of the hostile library misbehaves as its name says; each file is read with its
// registration captured, two seconds each. Whatever they do, the reading ends in time, leaves no
// process, scratch key or registry key behind, captures every good component and blames the
// right file.
TEST(HostileComponents, NeitherHoldTheReadingNorLeaveAnythingNorTakeOthersDown) {
    constexpr std::uint32_t kLimitMs = 2000;
    const std::wstring longFolder = std::wstring(120, L'd') + L"\\" + std::wstring(120, L'e');
    const struct {
        std::vector<std::wstring> Files;
        std::vector<bool> Captured;
        const wchar_t* Note; // of the first file; none for the others
    } rows[] = {
        {{L"Grandchild.dll", L"Good.dll"}, {true, true}, nullptr},
        {{L"Stdout.dll", L"Good.dll"}, {true, true}, nullptr},
        // Slow, each within the limit: together past it.
        {{L"Slow1.dll", L"Slow2.dll", L"Slow3.dll"}, {true, true, true}, nullptr},
        {{L"Hang.dll", L"Good.dll", L"Good2.dll"},
         {false, true, true},
         L"не завершилась за 2 секунд и была остановлена"},
        // Its thread crashes the process while the next file registers, which is read again.
        {{L"LateCrash.dll", L"Slow.dll"}, {true, true}, nullptr},
        {{L"NeedsCom.dll"}, {true}, nullptr},
        // Its type library registered by a library loaded during its registration.
        {{L"Loader.dll"}, {true}, nullptr},
        {{longFolder + L"\\Good.dll"}, {true}, nullptr},
    };
    ASSERT_TRUE(FixtureKeysPresent().empty());
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.Files.front()));
        const std::filesystem::path folder = TestFolders::Fresh(row.Files.front().substr(0, 4));
        std::vector<TypeLibReader::ReadRequest> requests;
        for (const std::wstring& name : row.Files) {
            const std::wstring file = L"\\\\?\\" + (folder / name).wstring();
            std::filesystem::create_directories(std::filesystem::path(file).parent_path());
            ASSERT_TRUE(CopyFileW((TestDir() + L"ComRegHostile.dll").c_str(), file.c_str(), FALSE));
            requests.push_back({file.substr(4), true});
        }
        ASSERT_TRUE(CopyFileW((TestDir() + L"ComRegHelper.dll").c_str(),
                              (folder / L"ComRegHelper.dll").c_str(), FALSE));
        const auto start = std::chrono::steady_clock::now();
        const auto results = TypeLibReader::ReadFiles(requests, kLimitMs);
        const auto seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
        EXPECT_LT(seconds.count(), 2.0 + 1.5 * static_cast<double>(row.Files.size()));
        for (std::size_t i = 0; i < results.size(); ++i) {
            const auto& r = results[i];
            EXPECT_EQ(row.Captured[i], r.Registered && !r.Registered->Classes.empty()) << i;
            const std::wstring notes = r.Notes.empty() ? L"" : r.Notes.front();
            if (i == 0 && row.Note) {
                EXPECT_NE(notes.find(requests[i].File), std::wstring::npos) << i;
                EXPECT_NE(notes.find(row.Note), std::wstring::npos)
                    << testing::PrintToString(notes);
            } else {
                EXPECT_TRUE(r.Notes.empty()) << i << ": " << testing::PrintToString(notes);
            }
        }
        EXPECT_TRUE(FixtureKeysPresent().empty());
        EXPECT_TRUE(LeftBehind().empty()) << testing::PrintToString(LeftBehind());
    }
}

// A key that exists before registration runs in one view only is the machine's there; what
// registration leaks into the other view goes from that view alone.
TEST(RegistrationKeys, ALeakIsRemovedOnlyFromTheViewWhereItIsNew) {
    const std::wstring key = L"CLSID\\{5B0E6F3A-2C4D-4E8F-9A1B-7C6D5E4F3A2B}";
    auto create = [&](REGSAM view) {
        HKEY created = nullptr;
        EXPECT_EQ(ERROR_SUCCESS,
                  RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS | view, nullptr, &created, nullptr));
        RegCloseKey(created);
    };
    auto remove = [&] {
        for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY})
            RegDeleteKeyExW(HKEY_CLASSES_ROOT, key.c_str(), view, 0);
    };
    remove();
    create(KEY_WOW64_64KEY);
    const auto before = ComRegistration::ExistingKeys({key});
    EXPECT_EQ(before, std::vector<std::wstring>{L"64\\" + key});
    create(KEY_WOW64_32KEY);
    EXPECT_EQ(ComRegistration::RemoveNewKeys({key}, before, L"x.dll").size(), 1u);
    EXPECT_EQ(ComRegistration::ExistingKeys({key}), before);
    remove();
}

} // namespace

// The reader child is this program started again, as in the product.
int main(int argc, char** argv) {
    int exitCode = 0;
    if (TypeLibReaderChild::RunIfAsked(exitCode)) return exitCode;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
