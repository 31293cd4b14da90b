// The program's own version, title line and usage header.
#pragma once

#include <cstdint>
#include <string>

namespace modFormatVersion {

// The numbers the text is made of; the running program's come from its build.
struct VersionNumbers {
    std::uint32_t Major;
    std::uint32_t Minor;
    std::uint32_t Revision;
};
VersionNumbers ProgramVersion();

// "1.00.0001": minor at least two digits, revision at least four.
std::wstring FormatVersionNumbers(const VersionNumbers& version);
std::wstring csFormatVersion();
std::wstring GetSuffix(bool LongForm);
std::wstring csFormatAppTitle(bool LongForm);
std::wstring csGetUsageHeader(bool LongForm, const bool& Translate);
std::wstring TranslateCopyright(const std::wstring& text, bool Translate);

} // namespace modFormatVersion
