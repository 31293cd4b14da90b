#include "image/PeHeader.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uint16_t kI386 = 0x14C, kAmd64 = 0x8664, kPe32 = 0x10B, kPe32Plus = 0x20B;
constexpr std::size_t kFlagsAt = 0x96, kOptionalAt = 0x98; // the header at 0x80

void Put(std::string& bytes, std::size_t at, std::uint32_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// A PE file's headers as a linker writes them: "MZ", the header at 0x80, sixteen directories.
std::string Image(std::uint16_t machine, std::uint16_t magic, std::uint16_t flags,
                  std::uint16_t dllFlags, std::uint32_t relocationSize) {
    const std::size_t optionalSize = magic == kPe32 ? 224 : 240, count = magic == kPe32 ? 92 : 108;
    std::string bytes(kOptionalAt + optionalSize + 40, '\xCC');
    bytes.replace(0, 2, "MZ");
    Put(bytes, 0x3C, 0x80, 4);
    bytes.replace(0x80, 4, "PE\0\0", 4);
    Put(bytes, 0x84, machine, 2);
    Put(bytes, 0x94, static_cast<std::uint32_t>(optionalSize), 2);
    Put(bytes, kFlagsAt, flags, 2);
    Put(bytes, kOptionalAt, magic, 2);
    Put(bytes, kOptionalAt + 70, dllFlags, 2);
    Put(bytes, kOptionalAt + count, 16, 4);
    Put(bytes, kOptionalAt + count + 4 + 5 * 8 + 4, relocationSize, 4);
    return bytes;
}

} // namespace

TEST(PeHeader, SetsOnlyTheAskedFlagsWhereTheyBelongAndTellsWhatItCouldNot) {
    const PeHeader::Settings all{true, true, true, true}, large{true, false, false, false};
    const struct {
        const char* name;
        std::uint16_t machine, magic, flags, dllFlags;
        std::uint32_t relocations;
        PeHeader::Settings wanted;
        std::uint16_t newFlags, newDllFlags;
        bool changed, refused, skipped;
    } rows[] = {
        {"x86 program", kI386, kPe32, 0x0102, 0, 0x40, all, 0x0122, 0x8140, true, false, false},
        {"x64 program", kAmd64, kPe32Plus, 0x0022, 0, 0x40, all, 0x0022, 0x8140, true, false,
         false},
        {"stripped", kI386, kPe32, 0x0103, 0, 0x40, all, 0x0123, 0x8100, true, true, false},
        {"no relocation data", kI386, kPe32, 0x0102, 0, 0, all, 0x0122, 0x8100, true, true, false},
        {"library", kI386, kPe32, 0x2102, 0, 0x40, all, 0x2122, 0x0140, true, false, true},
        {"x64 library", kAmd64, kPe32Plus, 0x2022, 0, 8, all, 0x2022, 0x0140, true, false, true},
        {"all set before", kI386, kPe32, 0x0123, 0x8140, 0, all, 0x0123, 0x8140, false, false,
         false},
        {"other flags kept", kI386, kPe32, 0x010E, 0x0020, 0, large, 0x012E, 0x0020, true, false,
         false},
        {"nothing asked", kI386, kPe32, 0x0102, 0, 0, {}, 0x0102, 0, false, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string bytes = Image(row.machine, row.magic, row.flags, row.dllFlags, row.relocations);
        const auto layout = PeHeader::Find(bytes);
        ASSERT_TRUE(layout);
        const auto outcome = PeHeader::Apply(bytes, *layout, row.wanted);
        EXPECT_EQ(Image(row.machine, row.magic, row.newFlags, row.newDllFlags, row.relocations),
                  bytes);
        EXPECT_EQ(row.changed, outcome.Changed);
        EXPECT_EQ(row.refused, outcome.DynamicBaseRefused);
        EXPECT_EQ(row.skipped, outcome.TerminalServerSkipped);
        PeHeader::SetCheckSum(bytes, *layout, 0x00A1B2C3);
        EXPECT_EQ(std::string("\xC3\xB2\xA1\0", 4), bytes.substr(kOptionalAt + 64, 4));
        EXPECT_EQ(0x00A1B2C3u, PeHeader::CheckSum(bytes, *layout));
    }
}

TEST(PeHeader, RefusesWhatIsNoX86OrX64Image) {
    const std::string good = Image(kI386, kPe32, 0x0102, 0, 0x40);
    std::string arm = good, rom = good, small = good, beyond = good, notPe = good;
    Put(arm, 0x84, 0x01C4, 2);
    Put(rom, kOptionalAt, 0x0107, 2);
    Put(small, 0x94, 70, 2);
    Put(beyond, 0x3C, 0xFFFFFFF0, 4);
    notPe[0x81] = 'X';
    for (const std::string& bytes :
         {std::string(), std::string("MZ"), good.substr(0, kOptionalAt + 71), "ZM" + good.substr(2),
          arm, rom, small, beyond, notPe})
        EXPECT_FALSE(PeHeader::Find(bytes)) << bytes.size();
    // The relocation directory past a short optional header or past the file: none.
    std::string shortOptional = good;
    Put(shortOptional, 0x94, 96 + 5 * 8 + 4, 2);
    EXPECT_FALSE(PeHeader::Find(shortOptional)->HasRelocations);
    EXPECT_FALSE(PeHeader::Find(good.substr(0, kOptionalAt + 96 + 5 * 8 + 4))->HasRelocations);
    EXPECT_TRUE(PeHeader::Find(good)->HasRelocations);
}
