// Small pieces shared by the helper programs of the end-to-end tests (stand-in linker, open
// recorder, box probe) and the dialog driver. Header-only so each helper stays one file.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace e2e {

// The argument text of a command line as the program sees it: the program token (quoted: up to
// the closing quote; unquoted: up to the first blank) and exactly one blank after it are dropped,
// everything else is kept as it is, so a recorder shows what the caller really passed.
inline std::wstring_view ArgumentText(std::wstring_view commandLine) {
    std::size_t i = 0;
    if (!commandLine.empty() && commandLine.front() == L'"') {
        std::size_t close = commandLine.find(L'"', 1);
        i = close == std::wstring_view::npos ? commandLine.size() : close + 1;
    } else {
        i = commandLine.find_first_of(L" \t");
        if (i == std::wstring_view::npos) i = commandLine.size();
    }
    if (i < commandLine.size() && (commandLine[i] == L' ' || commandLine[i] == L'\t')) ++i;
    return commandLine.substr(i);
}

// The folder of the running program, with a trailing backslash.
inline std::wstring ExeDir() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return L".\\";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

inline std::string ToUtf8(std::wstring_view text) {
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

inline std::wstring FromUtf8(std::string_view text) {
    if (text.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

inline std::optional<std::wstring> GetEnv(const wchar_t* name) {
    DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n == 0) return std::nullopt;
    std::wstring value(n, L'\0');
    n = GetEnvironmentVariableW(name, value.data(), n);
    value.resize(n);
    return value;
}

// Decimal or 0x-hexadecimal, the full unsigned 32-bit range (exit codes such as 0xC0000005).
inline std::optional<std::uint32_t> ParseUInt32(std::wstring_view text) {
    unsigned base = 10;
    if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (wchar_t c : text) {
        unsigned digit = 0;
        if (c >= L'0' && c <= L'9')
            digit = static_cast<unsigned>(c - L'0');
        else if (base == 16 && c >= L'a' && c <= L'f')
            digit = static_cast<unsigned>(c - L'a' + 10);
        else if (base == 16 && c >= L'A' && c <= L'F')
            digit = static_cast<unsigned>(c - L'A' + 10);
        else
            return std::nullopt;
        if (digit >= base) return std::nullopt;
        value = value * base + digit;
        if (value > 0xFFFFFFFFull) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

// The whole file; others may go on reading and writing it meanwhile. Nothing when it cannot be
// opened.
inline std::optional<std::string> ReadAllBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

// Whole-buffer writes to a file handle; false when anything was left unwritten.
inline bool WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written == 0)
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

// The processor architecture of this build's side-by-side assemblies as the loader names it.
#ifdef _WIN64
inline constexpr char kArchitecture[] = "amd64";
#else
inline constexpr char kArchitecture[] = "X86";
#endif

// A manifest as this process's loader takes it: a 64-bit process has only amd64 side-by-side
// assemblies, so its copy names amd64 where our 32-bit users' manifests name X86; a 32-bit process
// takes them as written.
inline std::string ForThisPlatform(std::string bytes) {
    for (std::size_t at = bytes.find("\"X86\""); at != std::string::npos;
         at = bytes.find("\"X86\"", at)) {
        const std::string named = std::string("\"") + kArchitecture + "\"";
        bytes.replace(at, 5, named);
        at += named.size();
    }
    return bytes;
}

inline BOOL CALLBACK AddLanguage(HMODULE module, LPCWSTR, LPCWSTR, WORD language, LONG_PTR map) {
    HRSRC found = FindResourceExW(module, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), language);
    const char* data = static_cast<const char*>(LockResource(LoadResource(module, found)));
    (*reinterpret_cast<std::map<WORD, std::string>*>(map))[language] =
        data ? std::string(data, SizeofResource(module, found)) : "";
    return TRUE;
}

// The file's manifest resources of identifier 1, by language, read as the loader reads them.
inline std::map<WORD, std::string> ManifestResources(const std::wstring& path) {
    std::map<WORD, std::string> found;
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    EnumResourceLanguagesW(module, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), AddLanguage,
                           reinterpret_cast<LONG_PTR>(&found));
    if (module) FreeLibrary(module);
    return found;
}

} // namespace e2e
