// The few fields of a PE file's headers that the image settings change, found and changed in the
// file's bytes. x86 and x64 images only: there the fields sit at the same offsets of both kinds
// of optional header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace PeHeader {

// Where the fields sit in the file, and what the headers say about it.
struct Layout {
    std::size_t Characteristics;    // the file header's flags, 16 bits
    std::size_t DllCharacteristics; // the optional header's flags, 16 bits
    std::size_t CheckSum;           // 32 bits
    bool IsLibrary;                 // the file header says DLL
    // Not stripped by the linker, and a base-relocation directory that holds something: without
    // them the loader cannot move the image.
    bool HasRelocations;
};

// The fields of an x86 or x64 PE file; none for anything else (another machine, a truncated or
// broken header, no PE file at all).
std::optional<Layout> Find(const std::string& bytes);

struct Settings {
    bool LargeAddressAware = false;
    bool NxCompat = false;
    bool DynamicBase = false;
    bool TerminalServerAware = false;
};

struct Outcome {
    bool Changed = false;               // some flag was not set before
    bool DynamicBaseRefused = false;    // asked for, not set yet, and no relocations to allow it
    bool TerminalServerSkipped = false; // asked for a library, which does not take it
};

// Sets the asked-for flags in the bytes; flags set before stay set, nothing else changes.
Outcome Apply(std::string& bytes, const Layout& layout, const Settings& wanted);

std::uint32_t CheckSum(const std::string& bytes, const Layout& layout);
void SetCheckSum(std::string& bytes, const Layout& layout, std::uint32_t sum);

} // namespace PeHeader
