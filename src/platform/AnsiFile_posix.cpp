// Native stand-ins for the unit tests: the "ANSI code page" is Latin-1 here, file names UTF-8.
#include "platform/AnsiFile.h"

#include "support/AppError.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace platform {
namespace {

std::string Utf8Path(const std::wstring& name) {
    std::string out;
    for (wchar_t c : name) {
        auto u = static_cast<std::uint32_t>(c);
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

} // namespace

std::string ToAnsi(const std::wstring& text, bool* exact) {
    std::string bytes;
    if (exact) *exact = true;
    for (wchar_t c : text) {
        // U+FFFF stands for a text the platform fails to convert, for the callers' tests.
        if (c == 0xFFFF) throw AppError(87, L"Не удалось перевести текст в кодовую страницу ANSI.");
        const bool kept = static_cast<std::uint32_t>(c) <= 0xFF;
        if (!kept && exact) *exact = false;
        bytes += kept ? static_cast<char>(c) : '?';
    }
    return bytes;
}

std::wstring FromAnsi(const std::string& bytes) {
    std::wstring text;
    for (char c : bytes) text += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return text;
}

bool ReadWholeFile(const std::wstring& fileName, std::string& bytes, std::uint32_t* error) {
    errno = 0;
    std::ifstream in(Utf8Path(fileName), std::ios::binary);
    const bool opened = static_cast<bool>(in);
    if (opened) bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const bool ok = opened && !in.bad();
    if (error) *error = ok ? 0 : errno != 0 ? static_cast<std::uint32_t>(errno) : 5;
    return ok;
}

bool ReplaceFileContent(const std::wstring& fileName, const std::string& bytes,
                        std::uint32_t* error) {
    std::string target = Utf8Path(fileName);
    std::string temp = target + ".tmp" + std::to_string(getpid());
    auto failed = [&] {
        if (error) *error = errno != 0 ? static_cast<std::uint32_t>(errno) : 5;
        std::remove(temp.c_str());
        return false;
    };
    errno = 0;
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out || !out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) ||
            !out.flush()) {
            return failed();
        }
    }
    if (std::rename(temp.c_str(), target.c_str()) != 0) return failed();
    if (error) *error = 0;
    return true;
}

bool WriteNewFile(const std::wstring& folder, const std::wstring& prefix,
                  const std::wstring& suffix, const std::string& bytes, std::wstring& fileName,
                  std::uint32_t* error) {
    static unsigned counter = 0;
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'/' && base.back() != L'\\') base += L'/';
    for (int attempt = 0; attempt < 1000; ++attempt) {
        fileName =
            base + prefix + std::to_wstring(getpid()) + L"-" + std::to_wstring(++counter) + suffix;
        const std::string path = Utf8Path(fileName);
        errno = 0;
        std::FILE* file = std::fopen(path.c_str(), "wbx"); // x: only a new file
        if (!file) {
            if (errno == EEXIST) continue;
            break;
        }
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        if (std::fclose(file) == 0 && written) {
            if (error) *error = 0;
            return true;
        }
        std::remove(path.c_str());
        break;
    }
    if (error) *error = errno != 0 ? static_cast<std::uint32_t>(errno) : 5;
    fileName.clear();
    return false;
}

bool CopyBeside(const std::wstring& fileName, std::wstring& copyName, std::uint32_t* error) {
    std::string bytes;
    if (!ReadWholeFile(fileName, bytes)) {
        if (error) *error = 2;
        return false;
    }
    const size_t slash = fileName.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"." : fileName.substr(0, slash);
    return WriteNewFile(folder, L"vxl", L".tmp", bytes, copyName, error);
}

bool ReplaceFileWith(const std::wstring& fileName, const std::wstring& replacement,
                     std::uint32_t* error) {
    errno = 0;
    if (std::rename(Utf8Path(replacement).c_str(), Utf8Path(fileName).c_str()) != 0) {
        if (error) *error = errno != 0 ? static_cast<std::uint32_t>(errno) : 5;
        std::remove(Utf8Path(replacement).c_str());
        return false;
    }
    if (error) *error = 0;
    return true;
}

void RemoveFile(const std::wstring& fileName) {
    std::remove(Utf8Path(fileName).c_str());
}

} // namespace platform
