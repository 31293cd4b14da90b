#include "manifest/ManifestXml.h"

#include "TestFolders.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <string>
#include <thread>
#include <vector>

using ManifestXml::ReadIdentityAttributes;
using Texts = std::vector<std::wstring>;

namespace {

// The fixture manifests are copied beside the test program.
std::wstring FixtureFolder() {
    return (TestFolders::ProgramFolder() / L"manifests").wstring();
}

std::wstring Fixture(const std::wstring& name) {
    return FixtureFolder() + L"\\" + name;
}

// The attributes as name="value" (the value as the parser gives it, unescaped), or a marker
// that cannot be an attribute when the read fails.
Texts Read(const std::wstring& fileName) {
    std::vector<ManifestXml::Attribute> attributes{{L"left over", L"from an earlier read"}};
    if (!ReadIdentityAttributes(fileName, attributes)) {
        EXPECT_TRUE(attributes.empty()) << "a failed read reports nothing";
        return {L"<false>"};
    }
    Texts texts;
    for (const auto& a : attributes) texts.push_back(a.Name + L"=\"" + a.Value + L"\"");
    return texts;
}

const Texts kFalse{L"<false>"};

} // namespace

TEST(IdentityAttributes, ComeInDocumentOrderEachAsNameEqualsQuotedValue) {
    EXPECT_EQ(Read(Fixture(L"Identity.manifest")),
              (Texts{L"type=\"win32\"", L"name=\"Vexmor.Sample.Library\"", L"version=\"2.10.0.7\"",
                     L"processorArchitecture=\"X86\"", L"publicKeyToken=\"6595b64144ccf1df\"",
                     L"language=\"*\""}));
    // Another order in the file is another order in the answer.
    EXPECT_EQ(Read(Fixture(L"NoNamespace.manifest")),
              (Texts{L"name=\"Plain\"", L"version=\"1.0.0.0\"", L"type=\"win32\""}));
}

TEST(IdentityAttributes, ComeFromTheFirstIdentityThatIsAChildOfTheRoot) {
    EXPECT_EQ(Read(Fixture(L"FirstIdentity.manifest")),
              (Texts{L"type=\"win32\"", L"name=\"First\"", L"version=\"1.0.0.0\""}));
}

TEST(IdentityAttributes, LeaveOutNamespaceDeclarations) {
    EXPECT_EQ(Read(Fixture(L"NamespaceDeclarations.manifest")),
              (Texts{L"type=\"win32\"", L"name=\"Declared\"", L"x:note=\"kept\"",
                     L"version=\"3.0.0.0\""}));
}

TEST(IdentityAttributes, EmptyElementGivesAnEmptyList) {
    EXPECT_EQ(Read(Fixture(L"NoAttributes.manifest")), Texts{});
}

TEST(IdentityAttributes, ValuesComeWithEveryReferenceExpanded) {
    EXPECT_EQ(Read(Fixture(L"Escaped.manifest")),
              (Texts{L"name=\"Сборка & Co <x> \"q\" it's\"", L"version=\"1.0.0.0\"",
                     L"description=\"say \"hi\" 'there'\"", L"raw=\"a>b\""}));
    // An entity that the file declares itself, and an attribute of a declared namespace.
    EXPECT_EQ(Read(Fixture(L"DeclaredEntity.manifest")),
              (Texts{L"type=\"win32\"", L"name=\"Vexmor Entity\"", L"x:note=\"kept\"",
                     L"version=\"1.0.0.0\""}));
}

TEST(IdentityAttributes, Utf8WithByteOrderMark) {
    EXPECT_EQ(
        Read(Fixture(L"Utf8Bom.manifest")),
        (Texts{L"type=\"win32\"", L"name=\"С меткой порядка байтов\"", L"version=\"1.2.3.4\""}));
}

TEST(IdentityAttributes, FileUnderAFolderWithCyrillicLettersAndBlanks) {
    std::wstring folder = TestFolders::Fresh(L"Папка сборки").wstring();
    std::wstring name = folder + L"\\Библиотека.dll.manifest";
    ASSERT_TRUE(CopyFileW(Fixture(L"NoNamespace.manifest").c_str(), name.c_str(), FALSE));
    EXPECT_EQ(Read(name), (Texts{L"name=\"Plain\"", L"version=\"1.0.0.0\"", L"type=\"win32\""}));
    DeleteFileW(name.c_str());
    RemoveDirectoryW(folder.c_str());
}

// "#" and "%" are plain characters of a file name, whatever they mean in a URL.
TEST(IdentityAttributes, FileUnderAFolderWithUrlCharacters) {
    std::wstring folder = TestFolders::Fresh(L"C# 100%20").wstring();
    std::wstring name = folder + L"\\Lib#1.dll.manifest";
    ASSERT_TRUE(CopyFileW(Fixture(L"NoNamespace.manifest").c_str(), name.c_str(), FALSE));
    EXPECT_EQ(Read(name), (Texts{L"name=\"Plain\"", L"version=\"1.0.0.0\"", L"type=\"win32\""}));
    DeleteFileW(name.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST(IdentityAttributes, ExternalEntityIsNotFetched) {
    // Fetched, the entity would put its own identity first.
    Texts attributes = Read(Fixture(L"ExternalEntity.manifest"));
    for (const std::wstring& a : attributes) EXPECT_EQ(a.find(L"FromOutside"), std::wstring::npos);
    // Wine's component keeps the reference unexpanded and reads the rest.
    EXPECT_EQ(attributes, (Texts{L"type=\"win32\"", L"name=\"Local\"", L"version=\"1.0.0.0\""}));
}

TEST(NoIdentityAttributes, WhenTheIdentityIsNotAChildOfTheRootAssembly) {
    EXPECT_EQ(Read(Fixture(L"NestedOnly.manifest")), kFalse);
    EXPECT_EQ(Read(Fixture(L"OtherRoot.manifest")), kFalse);
}

TEST(NoIdentityAttributes, WhenTheFileIsNotAWellFormedDocument) {
    EXPECT_EQ(Read(Fixture(L"Malformed.manifest")), kFalse);
    EXPECT_EQ(Read(Fixture(L"Empty.manifest")), kFalse);
    EXPECT_EQ(Read((TestFolders::ProgramFolder() / L"ManifestXml_test.exe").wstring()), kFalse);
}

TEST(NoIdentityAttributes, WhenThereIsNoFile) {
    EXPECT_EQ(Read(Fixture(L"Missing.manifest")), kFalse);
    EXPECT_EQ(Read(FixtureFolder()), kFalse);
    EXPECT_EQ(Read(L""), kFalse);
    // Up to the NUL this names a readable manifest.
    EXPECT_EQ(Read(Fixture(L"Identity.manifest") + std::wstring(1, L'\0') + L"x"), kFalse);
}

TEST(ComApartment, EachReadEndsTheApartmentItBegan) {
    std::thread([] {
        EXPECT_EQ(Read(Fixture(L"NoNamespace.manifest")).size(), 3u);
        EXPECT_EQ(Read(Fixture(L"Missing.manifest")), kFalse);
        // Nothing left initialised on this thread.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    }).join();
}

TEST(ComApartment, ACallerInTheMultithreadedApartmentKeepsIt) {
    std::thread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(Read(Fixture(L"NoNamespace.manifest")),
                  (Texts{L"name=\"Plain\"", L"version=\"1.0.0.0\"", L"type=\"win32\""}));
        // Still initialised once by the caller, not ended by the read.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
    }).join();
}

// The last check of a finished manifest: well-formed bytes pass, anything else is refused with
// a reason.
TEST(CheckDocument, TakesWellFormedBytesOnlyAndSaysWhyNot) {
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
    const std::string good = head +
                             "<!-- \xD0\x96 -->\r\n<assembly xmlns=\"urn:schemas-microsoft-com:"
                             "asm.v1\" manifestVersion=\"1.0\"><a b=\"&amp;\"/></assembly>\r\n";
    const struct {
        std::string bytes;
        bool taken;
    } cases[] = {
        {good, true},
        {good + "   ", true}, // the padding
        {good.substr(0, good.size() / 2), false},
        {head + "<assembly>\x07</assembly>", false},
        {head + "<assembly a=\"&n;\"/>", false},
        {head + "<!-- a -- b --><assembly/>", false},
        {"", false},
    };
    for (const auto& c : cases) {
        std::wstring reason = L"left over";
        EXPECT_EQ(c.taken, ManifestXml::CheckDocument(c.bytes, reason)) << c.bytes;
        if (c.taken) {
            EXPECT_EQ(L"", reason);
        } else {
            EXPECT_EQ(0u, reason.find(L"Текст манифеста не является правильным документом XML"))
                << c.bytes;
        }
    }
}
