#include "manifest/modManifestMain.h"

#include "Fakes.h"
#include "TestFolders.h"
#include "config/CConfig.h"
#include "context/BuildContext.h"

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

// An update the platform refuses: the program stays as it was, the copy is gone, and no
// manifest file is written in its place.
TEST_F(WriteManifestTest, AFailedEmbeddingIsShownAndLeavesTheProgramAndItsFolderAsTheyWere) {
    fakes::Get().ResourceUpdateError = 193;
    Version(L"Tool");
    std::ofstream(std::filesystem::path(context_.ExeFileName), std::ios::binary) << "MZ";
    EXPECT_FALSE(modManifestMain::WriteManifest(context_, true));
    EXPECT_EQ(std::vector<std::vector<std::uint16_t>>{{0}}, fakes::Get().ResourceUpdates);
    EXPECT_EQ(std::vector<std::string>{"Tool.exe"}, Files());
    ASSERT_EQ(1u, fakes::Get().Messages.size());
    const auto& box = fakes::Get().Messages[0];
    EXPECT_EQ(0u, box.Text.find(context_.ExeFileName + L"\r\n\r\n"));
    EXPECT_NE(std::wstring::npos, box.Text.find(L"(шаг «встраивание манифеста»)"));
    EXPECT_NE(std::wstring::npos, box.Text.find(L"Error number: 193\r\n"));
    EXPECT_EQ(platform::Icon::Error, box.Icon);
}
