// The version resource of another file (the output file after the link): its version numbers,
// its description and whether it declares itself a library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct FileVersionRecord {
    std::int32_t Major = 0;
    std::int32_t Minor = 0;
    std::int32_t Build = 0;
    std::int32_t Revision = 0;
    std::wstring Description;
    bool IsLibrary = false;
};

namespace modVersion {

// The platform's fixed part of a version resource (VS_FIXEDFILEINFO, 52 bytes), field by field.
struct FixedFileInfo {
    std::uint32_t dwSignature;
    std::uint32_t dwStrucVersion;
    std::uint32_t dwFileVersionMS;
    std::uint32_t dwFileVersionLS;
    std::uint32_t dwProductVersionMS;
    std::uint32_t dwProductVersionLS;
    std::uint32_t dwFileFlagsMask;
    std::uint32_t dwFileFlags;
    std::uint32_t dwFileOS;
    std::uint32_t dwFileType;
    std::uint32_t dwFileSubtype;
    std::uint32_t dwFileDateMS;
    std::uint32_t dwFileDateLS;
};
static_assert(sizeof(FixedFileInfo) == 52);

// The whole version resource as the platform hands it out, and which form of the platform's
// functions filled it: the wide and the ANSI forms lay the buffer out differently, so it is
// queried with the same form.
struct VersionBuffer {
    std::vector<std::uint8_t> Bytes;
    bool Wide = true;
};

// The record of the file; false when the file, its version resource, its first translation or
// that translation's FileDescription cannot be read. A successful read is kept for that file
// name: a later call for the same name copies it, a call for another name reads that file.
bool GetVersion(const std::wstring& FileName, FileVersionRecord& Record);
// The uncached read. After a false result the numbers and IsLibrary may already be filled.
bool GetVersionWin32(const std::wstring& FileName, FileVersionRecord& Record);
// The same through the wide (NT family) or the ANSI (9x family) forms of the platform's functions;
// the one above picks the host's.
bool GetVersionWin32(const std::wstring& FileName, FileVersionRecord& Record, bool Wide);
// The fixed part; true only when the platform gives exactly 52 bytes of it.
bool GetVersionWin32_FFI(const VersionBuffer& Buffer, FixedFileInfo& Info);
// The first language and code-page pair (language in the lower 16 bits).
bool GetVersionWin32_Translation(const VersionBuffer& Buffer, std::uint32_t& Translation);
// The string value of that name under the translation; false when missing or of length 0.
bool GetVersionWin32_String(const VersionBuffer& Buffer, const std::wstring& ValueName,
                            const std::uint32_t& Translation, std::wstring& Value);

} // namespace modVersion
