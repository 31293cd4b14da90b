// A COM library whose type library crashes the platform's reader: the build must survive it.
#include "ProgramFixture.h"

#include <string>

namespace {

class TypeLibrary : public Program {};

TEST_F(TypeLibrary, ACrashingReaderIsReportedWithItsCodeAndTheBuildGoesOn) {
    output_ = testsDir_ + L"CorruptTypeLib.dll";
    exe_ = project_ + L"Tool.dll";
    Project(L"Tool.LinkConfig", L"MANIFEST");
    const std::wstring manifest = exe_ + L".manifest";
    e2e::WriteBytes(manifest, "earlier manifest");
    auto result = Link(L"x.obj /DLL /OUT:\"" + exe_ + L"\"");
    EXPECT_EQ(0u, result.ExitCode) << e2e::Describe(result);
    // Exactly one box: no crash dialog besides it.
    ASSERT_EQ(1u, result.Boxes.size()) << e2e::Describe(result);
    ExpectBox(result.Boxes[0], L"error",
              exe_ + L"\r\n\r\nНе удалось загрузить библиотеку типов из файла.\r\n\r\n"
                     L"Чтение библиотеки типов прервано исключением 0x80000003.");
    EXPECT_EQ("earlier manifest", e2e::ReadBytes(manifest).value_or(""));
}

} // namespace
