#include "image/PeHeader.h"

namespace PeHeader {
namespace {

// The values of the platform's headers, spelled out here: this part never sees <windows.h>.
constexpr std::uint16_t kMachineI386 = 0x014C;
constexpr std::uint16_t kMachineAmd64 = 0x8664;
constexpr std::uint16_t kMagicPe32 = 0x010B;
constexpr std::uint16_t kMagicPe32Plus = 0x020B;
constexpr std::uint16_t kRelocsStripped = 0x0001;
constexpr std::uint16_t kLargeAddressAware = 0x0020;
constexpr std::uint16_t kDll = 0x2000;
constexpr std::uint16_t kDynamicBase = 0x0040;
constexpr std::uint16_t kNxCompat = 0x0100;
constexpr std::uint16_t kTerminalServerAware = 0x8000;
constexpr std::size_t kBaseRelocationEntry = 5;

std::uint32_t Read(const std::string& bytes, std::size_t at, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = size; i-- > 0;)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

void Write(std::string& bytes, std::size_t at, std::size_t size, std::uint32_t value) {
    for (std::size_t i = 0; i < size; ++i, value >>= 8)
        bytes[at + i] = static_cast<char>(value & 0xFF);
}

} // namespace

std::optional<Layout> Find(const std::string& bytes) {
    const std::size_t size = bytes.size();
    if (size < 0x40 || bytes.compare(0, 2, "MZ") != 0) return std::nullopt;
    const std::size_t pe = Read(bytes, 0x3C, 4);
    // The signature, the file header (20 bytes) and the optional header's fields up to the
    // DLL flags (72 bytes) must all be in the file.
    constexpr std::size_t kFileHeader = 4, kOptionalHeader = kFileHeader + 20;
    if (pe > size || size - pe < kOptionalHeader + 72 || bytes.compare(pe, 4, "PE\0\0", 4) != 0)
        return std::nullopt;
    const auto machine = Read(bytes, pe + kFileHeader, 2);
    const auto optionalSize = Read(bytes, pe + kFileHeader + 16, 2);
    const std::size_t optional = pe + kOptionalHeader;
    const auto magic = Read(bytes, optional, 2);
    if ((machine != kMachineI386 && machine != kMachineAmd64) ||
        (magic != kMagicPe32 && magic != kMagicPe32Plus) || optionalSize < 72)
        return std::nullopt;

    Layout layout{};
    layout.Characteristics = pe + kFileHeader + 18;
    layout.CheckSum = optional + 64;
    layout.DllCharacteristics = optional + 70;
    const auto flags = Read(bytes, layout.Characteristics, 2);
    layout.IsLibrary = (flags & kDll) != 0;
    // The directory count and the directories follow the image base, which x64 makes 8 bytes.
    const std::size_t count = magic == kMagicPe32 ? 92 : 108;
    const std::size_t directory = count + 4 + 8 * kBaseRelocationEntry;
    if (!(flags & kRelocsStripped) && optionalSize >= directory + 8 &&
        size - optional >= directory + 8 && Read(bytes, optional + count, 4) > kBaseRelocationEntry)
        layout.HasRelocations = Read(bytes, optional + directory + 4, 4) != 0;
    return layout;
}

Outcome Apply(std::string& bytes, const Layout& layout, const Settings& wanted) {
    Outcome outcome;
    const auto flags = Read(bytes, layout.Characteristics, 2);
    const auto dllFlags = Read(bytes, layout.DllCharacteristics, 2);
    auto newFlags = flags, newDllFlags = dllFlags;
    if (wanted.LargeAddressAware) newFlags |= kLargeAddressAware;
    if (wanted.NxCompat) newDllFlags |= kNxCompat;
    if (wanted.DynamicBase && !(dllFlags & kDynamicBase)) {
        if (layout.HasRelocations) {
            newDllFlags |= kDynamicBase;
        } else {
            outcome.DynamicBaseRefused = true;
        }
    }
    if (wanted.TerminalServerAware) {
        if (layout.IsLibrary) {
            outcome.TerminalServerSkipped = true;
        } else {
            newDllFlags |= kTerminalServerAware;
        }
    }
    outcome.Changed = newFlags != flags || newDllFlags != dllFlags;
    Write(bytes, layout.Characteristics, 2, newFlags);
    Write(bytes, layout.DllCharacteristics, 2, newDllFlags);
    return outcome;
}

std::uint32_t CheckSum(const std::string& bytes, const Layout& layout) {
    return Read(bytes, layout.CheckSum, 4);
}

void SetCheckSum(std::string& bytes, const Layout& layout, std::uint32_t sum) {
    Write(bytes, layout.CheckSum, 4, sum);
}

} // namespace PeHeader
