#include "manifest/TypeLibRecord.h"

#include "support/AppError.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using TypeLibReader::InterfaceKind;
using namespace TypeLibRecord;

// Every kind of member, failed ones among them, and text beyond ASCII and beyond U+FFFF.
Record Sample() {
    Record r;
    r.Name.Value = L"Библиотека \U0001D11E";
    r.GUID.Error = {0x8002802Bu, L"Элемент не найден."};
    r.MajorVersion.Value = 65535;
    r.MinorVersion.Error = {5, L"minor"};
    r.CoClasses.resize(2);
    r.CoClasses[0].Value = TypeLibReader::CoClassInfo{L"Calc", L"{1}", true};
    r.CoClasses[1].Error = {7, L"class"};
    r.Interfaces.resize(2);
    r.Interfaces[0].Value = {L"ISquare", L"{2}", InterfaceKind::Dual, {L"{3}", L"{4}"}};
    r.Interfaces[1].Value = {L"IUnknown", L"{5}", InterfaceKind::DispatchOnly, {}};
    return r;
}

std::uint32_t ErrorOf(const std::function<void()>& read) {
    try {
        read();
    } catch (const AppError& error) {
        return error.Number;
    }
    return 0;
}

TEST(TypeLibRecord, RoundTripsEveryMemberWithItsValueOrError) {
    Record parsed;
    ASSERT_TRUE(Parse(Serialize(Sample()), parsed));
    auto info = InfoFromRecord(L"C:\\a.dll", parsed);
    EXPECT_EQ(info->ContainingFile(), L"C:\\a.dll");
    EXPECT_EQ(info->Name(), L"Библиотека \U0001D11E");
    EXPECT_EQ(ErrorOf([&] { info->GUID(); }), 0x8002802Bu);
    EXPECT_EQ(info->MajorVersion(), 65535);
    EXPECT_EQ(ErrorOf([&] { info->MinorVersion(); }), 5u);
    ASSERT_EQ(info->CoClassCount(), 2u);
    EXPECT_EQ(info->CoClass(0).GUID, L"{1}");
    EXPECT_TRUE(info->CoClass(0).IsControl);
    EXPECT_EQ(ErrorOf([&] { info->CoClass(1); }), 7u);
    EXPECT_EQ(ErrorOf([&] { info->CoClass(2); }), kInvalidArgumentNumber);
    ASSERT_EQ(info->InterfaceCount(), 2u);
    EXPECT_EQ(info->Interface(0).Kind, InterfaceKind::Dual);
    EXPECT_EQ(info->Interface(0).ImpliedInterfaces, (std::vector<std::wstring>{L"{3}", L"{4}"}));
    EXPECT_EQ(info->Interface(1).Kind, InterfaceKind::DispatchOnly);
    EXPECT_TRUE(info->Interface(1).ImpliedInterfaces.empty());
    try {
        info->GUID();
    } catch (const AppError& error) {
        EXPECT_EQ(error.Description, L"Элемент не найден.");
    }
}

TEST(TypeLibRecord, ALoadErrorIsThrownWhenTheViewIsMade) {
    Record failed, parsed;
    failed.LoadError = Failure{0x80029C4Au, L"load"};
    ASSERT_TRUE(Parse(Serialize(failed), parsed));
    EXPECT_EQ(ErrorOf([&] { InfoFromRecord(L"x", parsed); }), 0x80029C4Au);
}

TEST(TypeLibRecord, RefusesTruncatedPaddedAndAlteredBytes) {
    const std::string bytes = Serialize(Sample());
    Record parsed;
    for (std::size_t size = 0; size < bytes.size(); ++size)
        EXPECT_FALSE(Parse(bytes.substr(0, size), parsed)) << size;
    EXPECT_FALSE(Parse(bytes + '\0', parsed));
    // Each 4 bytes at an even offset (every word, every pair of UTF-16 units) set to a huge value,
    // to a surrogate pair and to a reversed one: a count, a length, a flag or a kind out of range
    // must be refused; what is accepted (characters, an error number) must mean those bytes. Where
    // wchar_t holds code points, a lone surrogate cannot be a text and must be refused.
    std::size_t refused = 0;
    for (const char* value : {"\xFF\xFF\xFF\x7F", "\x34\xD8\x1E\xDD", "\x1E\xDD\x34\xD8"}) {
        for (std::size_t at = 6; at + 4 <= bytes.size(); at += 2) {
            std::string altered = bytes;
            altered.replace(at, 4, value, 4);
            if (Parse(altered, parsed))
                EXPECT_EQ(Serialize(parsed), altered) << at;
            else
                ++refused;
        }
    }
    EXPECT_GT(refused, 200u) << refused;
    std::string lone = bytes;
    lone.replace(bytes.find("\x1E\xDD"), 2, "x\0", 2);
    EXPECT_EQ(sizeof(wchar_t) == 2, Parse(lone, parsed));
    EXPECT_FALSE(Parse("garbage that is no record at all", parsed));
}

} // namespace

TEST(TypeLibRecord, FramesCutByAKilledWriterKeepEveryWholeOneAndRegistrationsRoundTrip) {
    TypeLibReader::Registration registration;
    registration.Classes = {{L"{1}", L"A.B.1", L"A.B", L"Both", {std::nullopt, 131473u}}};
    const std::string first =
        TypeLibRecord::FrameBytes(TypeLibRecord::FrameKind::TypeLib, 7, Serialize(Sample()));
    const std::string bytes =
        first + TypeLibRecord::FrameBytes(TypeLibRecord::FrameKind::Registration, 8,
                                          TypeLibRecord::Serialize(registration));
    for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        const std::size_t whole = cut == bytes.size() ? 2 : cut >= first.size() ? 1 : 0;
        std::string received = bytes.substr(0, cut);
        EXPECT_EQ(whole, TypeLibRecord::TakeFrames(received).size()) << cut;
        // What is left is the cut frame, for the bytes still to come.
        const std::size_t taken = whole == 0 ? 0 : whole == 1 ? first.size() : cut;
        EXPECT_EQ(received, bytes.substr(taken, cut - taken)) << cut;
    }
    std::string received = bytes;
    const auto frames = TypeLibRecord::TakeFrames(received);
    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ(7u, frames[0].Request);
    EXPECT_EQ(8u, frames[1].Request);
    TypeLibReader::Registration parsed;
    ASSERT_TRUE(TypeLibRecord::Parse(frames[1].Bytes, parsed));
    ASSERT_EQ(1u, parsed.Classes.size());
    EXPECT_EQ(L"A.B", parsed.Classes[0].VersionIndependentProgId);
    EXPECT_FALSE(parsed.Classes[0].MiscStatus[0]);
    EXPECT_EQ(131473u, parsed.Classes[0].MiscStatus[1]);
    EXPECT_FALSE(TypeLibRecord::Parse(frames[1].Bytes + "x", parsed));
}
