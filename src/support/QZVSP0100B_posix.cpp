// The environment support library's operations for the native build: the portable logic
// directly, and fixed answers or POSIX stand-ins where the library would ask Windows.
#include "support/QZVSP0100B.h"

#include "QZVSP0100A/StringOps.h"
#include "QZVSP0100B/PathOps.h"

#include <filesystem>
#include <system_error>

namespace QZVSP0100B {

// IsInIDE is left to the test fakes: nothing runs the native build inside an environment.

bool RegisterAppPath() {
    return true;
}

std::uintptr_t GetMainWindowHandle() {
    return 0;
}

bool IsFileExist(const std::wstring& fileName) {
    if (fileName.empty()) return false;
    std::error_code error;
    return std::filesystem::is_regular_file(
        std::filesystem::path(StringOps::UnicodeToUtf8(fileName)), error);
}

std::wstring ReplaceFileExtension(const std::wstring& fileName, const std::wstring& newExtension) {
    return PathOps::ReplaceFileExtension(fileName, newExtension);
}

std::wstring GetFileExtension(const std::wstring& fileName) {
    return PathOps::GetFileExtension(fileName);
}

std::wstring GetFileName(const std::wstring& path, bool withoutExtension) {
    return PathOps::GetFileName(path, withoutExtension);
}

std::wstring GetFilePath(const std::wstring& fileName) {
    return PathOps::GetFilePath(fileName);
}

// Like the library: a relative (or empty) base counts from the current folder, so the result
// is always absolute.
std::wstring GetAbsoluteFileName(const std::wstring& fileName, const std::wstring& baseFolder) {
    std::wstring base = baseFolder;
    if (!PathOps::IsAbsolute(fileName) && !PathOps::IsAbsolute(base) &&
        (base.empty() || (base[0] != L'/' && base[0] != L'\\'))) {
        std::error_code error;
        const std::wstring current = std::filesystem::current_path(error).wstring();
        base = base.empty() ? current : current + L"/" + base;
    }
    return PathOps::GetAbsoluteFileName(fileName, base);
}

std::wstring GetTempFolder() {
    return L"/tmp/";
}

std::wstring BuildFileName(const std::wstring& folder, const std::wstring& fileName, bool quote) {
    return PathOps::BuildFileName(folder, fileName, quote);
}

std::wstring BuildFileName2(const std::wstring& folder, const std::wstring& fileName,
                            const std::wstring& part3, const std::wstring& part4,
                            const std::wstring& part5, const std::wstring& part6,
                            const std::wstring& part7, const std::wstring& part8,
                            const std::wstring& part9) {
    return PathOps::BuildFileName2(
        {folder, fileName, part3, part4, part5, part6, part7, part8, part9});
}

bool IsHostWinNT() {
    return true;
}

bool IsHostWin9x() {
    return false;
}

std::uint16_t HiWord(std::uint32_t value) {
    return PathOps::HiWord(value);
}

std::uint16_t LoWord(std::uint32_t value) {
    return PathOps::LoWord(value);
}

std::wstring Hex2(std::uint16_t value) {
    return PathOps::Hex2(value);
}

} // namespace QZVSP0100B
