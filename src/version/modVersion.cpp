#include "version/modVersion.h"

#include "platform/AnsiFile.h"
#include "support/QZVSP0100A.h"
#include "support/QZVSP0100B.h"

#include "common/LongPath.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace modVersion {
namespace {

// The last successful read: the manifest asks for the same output file more than once.
struct CachedRead {
    bool Valid = false;
    std::wstring FileName;
    FileVersionRecord Record;
};

CachedRead& Cache() {
    static CachedRead cache;
    return cache;
}

// One value of the resource, through the form of the functions that filled the buffer.
// The ANSI form takes the query in the ANSI code page and hands out text in it.
bool QueryValue(const VersionBuffer& Buffer, const std::wstring& query, const void*& value,
                UINT& length) {
    // The platform's query does not guard against an empty block.
    if (Buffer.Bytes.empty()) return false;
    void* found = nullptr;
    length = 0;
    BOOL ok = FALSE;
    if (Buffer.Wide) {
        ok = VerQueryValueW(Buffer.Bytes.data(), query.c_str(), &found, &length);
    } else {
        ok = VerQueryValueA(Buffer.Bytes.data(), platform::ToAnsi(query).c_str(), &found, &length);
    }
    if (!ok || found == nullptr) return false;
    value = found;
    return true;
}

} // namespace

bool GetVersion(const std::wstring& FileName, FileVersionRecord& Record) {
    Record = FileVersionRecord();
    CachedRead& cache = Cache();
    if (cache.Valid && cache.FileName == FileName) {
        Record = cache.Record;
        return true;
    }
    if (!GetVersionWin32(FileName, Record)) return false;
    cache.Valid = true;
    cache.FileName = FileName;
    cache.Record = Record;
    return true;
}

bool GetVersionWin32(const std::wstring& FileName, FileVersionRecord& Record) {
    return GetVersionWin32(FileName, Record, QZVSP0100B::IsHostWinNT());
}

bool GetVersionWin32(const std::wstring& FileName, FileVersionRecord& Record, bool Wide) {
    VersionBuffer buffer;
    buffer.Wide = Wide;
    DWORD handle = 0;
    if (Wide) {
        const std::wstring longName = LongPath::ForFileApi(FileName);
        DWORD size = GetFileVersionInfoSizeW(longName.c_str(), &handle);
        if (size == 0) return false;
        buffer.Bytes.assign(size, 0);
        if (!GetFileVersionInfoW(longName.c_str(), 0, size, buffer.Bytes.data())) return false;
    } else {
        std::string name = platform::ToAnsi(FileName);
        DWORD size = GetFileVersionInfoSizeA(name.c_str(), &handle);
        if (size == 0) return false;
        buffer.Bytes.assign(size, 0);
        if (!GetFileVersionInfoA(name.c_str(), 0, size, buffer.Bytes.data())) return false;
    }

    FixedFileInfo info{};
    if (!GetVersionWin32_FFI(buffer, info)) return false;
    // Each part is an unsigned 16-bit number: 40000 stays 40000.
    Record.Major = QZVSP0100B::HiWord(info.dwFileVersionMS);
    Record.Minor = QZVSP0100B::LoWord(info.dwFileVersionMS);
    Record.Build = QZVSP0100B::HiWord(info.dwFileVersionLS);
    Record.Revision = QZVSP0100B::LoWord(info.dwFileVersionLS);
    Record.IsLibrary = info.dwFileType == VFT_DLL;

    std::uint32_t translation = 0;
    if (!GetVersionWin32_Translation(buffer, translation)) return false;
    std::wstring description;
    if (!GetVersionWin32_String(buffer, L"FileDescription", translation, description)) {
        return false;
    }
    Record.Description = description;
    return true;
}

bool GetVersionWin32_FFI(const VersionBuffer& Buffer, FixedFileInfo& Info) {
    const void* value = nullptr;
    UINT length = 0;
    if (!QueryValue(Buffer, L"\\", value, length) || length != sizeof(FixedFileInfo)) {
        return false;
    }
    std::memcpy(&Info, value, sizeof(FixedFileInfo));
    return true;
}

bool GetVersionWin32_Translation(const VersionBuffer& Buffer, std::uint32_t& Translation) {
    const void* value = nullptr;
    UINT length = 0;
    if (!QueryValue(Buffer, L"\\VarFileInfo\\Translation", value, length)) return false;
    if (length == 0 || length % 4 != 0) return false;
    // Only the first pair: language word, then code-page word.
    std::memcpy(&Translation, value, sizeof(Translation));
    return true;
}

bool GetVersionWin32_String(const VersionBuffer& Buffer, const std::wstring& ValueName,
                            const std::uint32_t& Translation, std::wstring& Value) {
    if (ValueName.empty()) return false;
    std::wstring query = L"\\StringFileInfo\\" + QZVSP0100B::Hex2(QZVSP0100B::LoWord(Translation)) +
                         QZVSP0100B::Hex2(QZVSP0100B::HiWord(Translation)) + L"\\" + ValueName;
    const void* value = nullptr;
    UINT length = 0;
    if (!QueryValue(Buffer, query, value, length) || length == 0) return false;
    if (Buffer.Wide) {
        // The length counts characters, the terminating one usually among them.
        const wchar_t* text = static_cast<const wchar_t*>(value);
        Value.assign(text, std::find(text, text + length, L'\0'));
    } else {
        Value = QZVSP0100A::GetStringFromPointerA(static_cast<const char*>(value));
    }
    return true;
}

} // namespace modVersion
