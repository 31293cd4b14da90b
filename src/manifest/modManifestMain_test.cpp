#include "manifest/modManifestMain.h"

#include "Fakes.h"
#include "TestFolders.h"
#include "config/CConfig.h"
#include "context/BuildContext.h"
#include "log/modLog.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using modManifestMain::ApplyPadding;

TEST(ApplyPadding, LengthensToAWholeNumberOfFourByteUnitsCountingBytes) {
    EXPECT_EQ(956u, ApplyPadding(std::string(953, 'x')).size());
    EXPECT_EQ(std::string(954, 'x') + "  ", ApplyPadding(std::string(954, 'x')));
    EXPECT_EQ(std::string(955, 'x') + " ", ApplyPadding(std::string(955, 'x')));
    EXPECT_EQ(std::string(956, 'x'), ApplyPadding(std::string(956, 'x')));
    EXPECT_EQ("", ApplyPadding(""));
    // "Жук" is six bytes in UTF-8: two blanks make eight.
    EXPECT_EQ("\xD0\x96\xD1\x83\xD0\xBA  ", ApplyPadding("\xD0\x96\xD1\x83\xD0\xBA"));
}

namespace {

class WriteManifestTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fakes::Reset();
        folder_ = TestFolders::Fresh();
        context_.ExeFileName = (folder_ / "Tool.exe").wstring();
        DeriveFileNames(context_);
        context_.Config = std::make_shared<CConfig>();
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    void Version(const std::wstring& description) {
        FileVersionRecord record;
        record.Major = 1;
        record.Description = description;
        fakes::Get().Versions[context_.ExeFileName] = record;
    }
    std::string Manifest() {
        std::ifstream in(std::filesystem::path(context_.ManifestFileName), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Names of everything in the folder: no temporary file may stay behind.
    std::vector<std::string> Files() {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    std::filesystem::path folder_;
    BuildContext context_;
};

} // namespace

TEST_F(WriteManifestTest, WritesTheUtf8TextPaddedWithNothingAfterIt) {
    for (const std::wstring& description : {std::wstring(L"Tool"), std::wstring(L"Инструмент"),
                                            std::wstring(L"Tool!"), std::wstring(L"Ж")}) {
        Version(description);
        modManifestMain::WriteManifest(context_);
        const std::string bytes = Manifest();
        EXPECT_EQ(0u, bytes.size() % 4) << bytes;
        const std::string end = "</assembly>\r\n";
        const std::size_t at = bytes.rfind(end);
        ASSERT_NE(std::string::npos, at);
        EXPECT_EQ(std::string(bytes.size() - at - end.size(), ' '), bytes.substr(at + end.size()));
        EXPECT_LT(bytes.size() - at - end.size(), 4u);
        EXPECT_EQ(0, bytes.compare(0, 5, "<?xml")); // no byte-order mark
    }
    EXPECT_NE(std::string::npos, Manifest().find("<description>\xD0\x96</description>"));
    EXPECT_EQ(std::vector<std::string>{"Tool.exe.manifest"}, Files());
    EXPECT_TRUE(fakes::Get().Messages.empty());
}

TEST_F(WriteManifestTest, AFailedGenerationLeavesAnEarlierManifestAsItWas) {
    std::ofstream(std::filesystem::path(context_.ManifestFileName), std::ios::binary) << "earlier";
    modManifestMain::WriteManifest(context_); // no version resource
    EXPECT_EQ("earlier", Manifest());
    ASSERT_EQ(1u, fakes::Get().Messages.size());
    EXPECT_NE(std::wstring::npos, fakes::Get().Messages[0].Text.find(L"GetManifestBody()"));
}

TEST_F(WriteManifestTest, AFailedWriteIsShownWithItsNumberAndDescription) {
    context_.ManifestFileName = (folder_ / "missing" / "Tool.exe.manifest").wstring();
    Version(L"Tool");
    modManifestMain::WriteManifest(context_);
    ASSERT_EQ(1u, fakes::Get().Messages.size());
    const auto& box = fakes::Get().Messages[0];
    // The number and its words are the platform's own: only their place is fixed here.
    const std::wstring head = context_.ManifestFileName +
                              L"\r\n\r\nВо время записи манифеста возникла ошибка.\r\n\r\n"
                              L"Error number: ";
    ASSERT_EQ(head, box.Text.substr(0, head.size()));
    const std::wstring rest = box.Text.substr(head.size());
    const std::size_t digits = rest.find_first_not_of(L"0123456789");
    ASSERT_NE(std::wstring::npos, digits);
    EXPECT_GT(digits, 0u);
    EXPECT_NE(L'0', rest[0]);
    EXPECT_EQ(L"\r\nDescription:  ", rest.substr(digits, 16));
    EXPECT_GT(rest.size(), digits + 16);
    EXPECT_EQ(platform::Icon::Error, box.Icon);
    EXPECT_EQ(std::vector<std::string>{}, Files());
}

TEST_F(WriteManifestTest, TheXmlCheckSeesTheBytesAsWrittenAndARefusalKeepsTheEarlierManifest) {
    Version(L"Инструмент");
    modManifestMain::WriteManifest(context_);
    ASSERT_EQ(1u, fakes::Get().CheckedDocuments.size());
    EXPECT_EQ(Manifest(), fakes::Get().CheckedDocuments[0]);

    std::ofstream(std::filesystem::path(context_.ManifestFileName), std::ios::binary) << "earlier";
    fakes::Get().XmlRefusal = L"Текст манифеста не является правильным документом XML.";
    modManifestMain::WriteManifest(context_);
    EXPECT_EQ("earlier", Manifest());
    ASSERT_EQ(1u, fakes::Get().Messages.size());
    EXPECT_EQ(context_.ExeFileName +
                  L"\r\n\r\nНе удалось сгенерировать манифест для файла. Функция: "
                  L"GetManifestBody().\r\n\r\nТекст манифеста не является правильным документом "
                  L"XML.",
              fakes::Get().Messages[0].Text);
    EXPECT_EQ(std::vector<std::string>{"Tool.exe.manifest"}, Files());
}

namespace {

// The output file as the linker left it, an external manifest beside it when given, and the
// notes that the step added.
class EmbedTest : public WriteManifestTest {
  protected:
    // The notes of one test must not reach the next.
    void TearDown() override {
        modLog::WriteNotes(context_);
        WriteManifestTest::TearDown();
    }
    std::vector<std::wstring> Step(bool embed, const char* external = nullptr,
                                   bool library = false) {
        Version(L"Tool");
        fakes::Get().Versions[context_.ExeFileName].IsLibrary = library;
        std::ofstream(std::filesystem::path(context_.ExeFileName), std::ios::binary) << "MZ";
        if (external) {
            std::ofstream(std::filesystem::path(context_.ManifestFileName), std::ios::binary)
                << external;
        }
        const std::size_t before = modLog::Notes().size();
        ok_ = modManifestMain::WriteManifest(context_, embed);
        return {modLog::Notes().begin() + before, modLog::Notes().end()};
    }
    std::string Output() {
        std::ifstream in(std::filesystem::path(context_.ExeFileName), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::wstring Embedded() {
        const std::string& bytes = fakes::Get().CheckedDocuments.at(0);
        return L"|" + std::wstring(bytes.begin(), bytes.end());
    }
    bool ok_ = false;
};

} // namespace

TEST_F(EmbedTest, TheManifestGoesIntoTheProgramAndAnEarlierFileOfOursGoes) {
    const auto notes = Step(true, "<!-- ===\r\nGenerated by:        Vexmor Link 0.1.0\r\n=== -->");
    EXPECT_TRUE(ok_);
    EXPECT_EQ(std::vector<std::wstring>{L"0 " + Embedded()}, fakes::Get().ResourceUpdates);
    EXPECT_EQ("MZ" + fakes::Get().CheckedDocuments.at(0), Output());
    EXPECT_EQ(std::vector<std::string>{"Tool.exe"}, Files());
    EXPECT_TRUE(notes.empty());
    EXPECT_TRUE(fakes::Get().Messages.empty());
}

TEST_F(EmbedTest, AnOwnManifestIsReplacedUnderItsLanguagesAndAFileOfSomeoneElseStays) {
    fakes::Get().ManifestLanguages = {1033, 1049};
    const auto notes = Step(true, "<!-- Generated by: hand -->\r\n<!-- Vexmor Link 1 -->");
    EXPECT_EQ(std::vector<std::wstring>{L"1033 1049 " + Embedded()}, fakes::Get().ResourceUpdates);
    EXPECT_EQ(2u, notes.size());
    EXPECT_EQ(2u, Files().size());
    EXPECT_TRUE(fakes::Get().Messages.empty());
}

TEST_F(EmbedTest, AFailureIsShownAndLeavesTheProgramAndTheFolderAsTheyWere) {
    for (int fault = 0; fault < 2; ++fault) {
        fakes::Reset();
        (fault == 0 ? fakes::Get().ResourceReadError : fakes::Get().ResourceUpdateError) = 193;
        Step(true);
        EXPECT_FALSE(ok_);
        EXPECT_EQ("MZ", Output());
        EXPECT_EQ(std::vector<std::string>{"Tool.exe"}, Files());
        ASSERT_EQ(1u, fakes::Get().Messages.size());
        const auto& box = fakes::Get().Messages[0];
        EXPECT_EQ(0u, box.Text.find(context_.ExeFileName + L"\r\n\r\n"));
        EXPECT_NE(std::wstring::npos, box.Text.find(L"«встраивание манифеста»"));
        EXPECT_NE(std::wstring::npos, box.Text.find(L"Error number: 193\r\n"));
        EXPECT_EQ(platform::Icon::Error, box.Icon);
    }
}

TEST_F(EmbedTest, ALibraryKeepsItsFileAndAProgramsOwnManifestIsWarnedAboutWithoutEmbed) {
    fakes::Get().ManifestLanguages = {1033};
    EXPECT_EQ(0u, Step(false).size());
    ASSERT_EQ(1u, fakes::Get().Messages.size());
    EXPECT_EQ(platform::Icon::Warning, fakes::Get().Messages[0].Icon);
    EXPECT_NE(std::wstring::npos, fakes::Get().Messages[0].Text.find(L"EMBED"));

    fakes::Reset();
    fakes::Get().ManifestLanguages = {1033};
    EXPECT_EQ(1u, Step(true, nullptr, true).size());
    EXPECT_TRUE(ok_);
    EXPECT_TRUE(fakes::Get().ResourceUpdates.empty());
    EXPECT_TRUE(fakes::Get().Messages.empty());
    EXPECT_EQ("MZ", Output());
    EXPECT_EQ(2u, Files().size());
}
