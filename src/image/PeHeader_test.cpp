#include "image/PeHeader.h"

#include <gtest/gtest.h>

namespace {

constexpr std::uint16_t kI386 = 0x14C, kPe32 = 0x10B;
constexpr std::size_t kOptional = 0x98; // the header at 0x80

void Put(std::string& bytes, std::size_t at, std::uint32_t value, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

// A PE file's headers as a linker writes them: "MZ", the header at 0x80, sixteen directories.
std::string Image(std::uint16_t machine, std::uint16_t flags, std::uint16_t dllFlags,
                  std::uint32_t relocations) {
    const bool pe32 = machine == kI386;
    std::string bytes(kOptional + (pe32 ? 224 : 240), '\xCC');
    bytes.replace(0, 2, "MZ");
    bytes.replace(0x80, 4, "PE\0\0", 4);
    Put(bytes, 0x3C, 0x80, 4);
    Put(bytes, 0x84, machine, 2);
    Put(bytes, 0x94, pe32 ? 224 : 240, 2);
    Put(bytes, 0x96, flags, 2);
    Put(bytes, kOptional, pe32 ? kPe32 : 0x20B, 2);
    Put(bytes, kOptional + 70, dllFlags, 2);
    Put(bytes, kOptional + (pe32 ? 92 : 108), 16, 4);           // directories
    Put(bytes, kOptional + (pe32 ? 140 : 156), relocations, 4); // base relocations' size
    return bytes;
}

} // namespace

TEST(PeHeader, SetsOnlyTheAskedFlagsWhereTheyBelongAndTellsWhatItCouldNot) {
    const PeHeader::Settings all{true, true, true, true};
    const struct {
        std::uint16_t machine, flags, dllFlags;
        std::uint32_t relocations;
        std::uint16_t newFlags, newDllFlags;
        bool changed, refused, skipped;
    } rows[] = {
        {kI386, 0x0102, 0x0020, 0x40, 0x0122, 0x8160, true, false, false}, // others kept
        {0x8664, 0x2022, 0, 8, 0x2022, 0x0140, true, false, true},         // an x64 library
        {kI386, 0x0103, 0, 0x40, 0x0123, 0x8100, true, true, false},       // stripped
        {kI386, 0x0102, 0, 0, 0x0122, 0x8100, true, true, false},          // no relocations
        {kI386, 0x0123, 0x8140, 0, 0x0123, 0x8140, false, false, false},   // all set before
    };
    for (const auto& row : rows) {
        std::string bytes = Image(row.machine, row.flags, row.dllFlags, row.relocations);
        const auto layout = PeHeader::Find(bytes);
        ASSERT_TRUE(layout);
        const auto outcome = PeHeader::Apply(bytes, *layout, all);
        EXPECT_EQ(Image(row.machine, row.newFlags, row.newDllFlags, row.relocations), bytes);
        EXPECT_EQ(row.changed, outcome.Changed);
        EXPECT_EQ(row.refused, outcome.DynamicBaseRefused);
        EXPECT_EQ(row.skipped, outcome.TerminalServerSkipped);
    }
}

TEST(PeHeader, RefusesWhatIsNoX86OrX64ImageAndFindsNoRelocationsPastTheHeaders) {
    const std::string good = Image(kI386, 0x0102, 0, 0x40);
    std::vector<std::string> bad = {good, good, good, good, "MZ", good.substr(0, kOptional + 71)};
    Put(bad[0], 0x84, 0x01C4, 2);     // ARM
    Put(bad[1], 0x94, 70, 2);         // no room for the DLL flags
    Put(bad[2], 0x3C, 0xFFFFFFF0, 4); // the header past the end
    bad[3][0x81] = 'X';
    for (const std::string& bytes : bad) EXPECT_FALSE(PeHeader::Find(bytes)) << &bytes - &bad[0];
    // The relocation directory past the file's end: none.
    EXPECT_FALSE(PeHeader::Find(good.substr(0, kOptional + 140))->HasRelocations);
}
