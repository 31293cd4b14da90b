// The linker command line: the output file after "/OUT:" and the library flag.
#include "FuzzCommon.h"

#include "Fakes.h"
#include "config/modConfig.h"

namespace {

// Pieces a command line is made of, so that short inputs reach the interesting shapes.
const wchar_t* const kTokens[] = {
    L"/OUT:",   L"/out:",
    L"/Out:\"", L"\"",
    L" ",       L"\t",
    L"/DLL",    L"/dll",
    L" /DLL ",  L"C:\\Work\\",
    L"App.exe", L"Lib.dll",
    L"\r\n",    L"\u0421\u0431\u043E\u0440\u043A\u0430",
    L"/DLL:",   L"\\\\server\\share\\",
};

std::wstring FromTokens(std::string_view bytes) {
    std::wstring text;
    for (char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        if (b >= 0x20 && b < 0x7F) {
            text += static_cast<wchar_t>(b);
        } else {
            text += kTokens[b % std::size(kTokens)];
        }
    }
    return text;
}

void Check(const std::wstring& line) {
    const std::wstring name = modConfig::ExtractEXEFileName(line);
    FUZZ_CHECK(line.find(name) != std::wstring::npos);
    if (!name.empty()) {
        const std::size_t at = fuzz::AsciiUpper(line).find(L"/OUT:");
        FUZZ_CHECK(at != std::wstring::npos);
        // The name follows the first "/OUT:": quoted, in a quoted switch, or up to a blank or tab.
        const std::wstring rest = line.substr(at + 5);
        if (const bool whole = at > 0 && line[at - 1] == L'"'; whole || rest[0] == L'"') {
            FUZZ_CHECK(name.find(L'"') == std::wstring::npos);
            FUZZ_CHECK(rest.compare(whole ? 0 : 1, name.size() + 1, name + L"\"") == 0);
        } else {
            // Unquoted, the name runs to the next blank or tab, quotes and all: "/OUT:" inside
            // another quoted argument still counts.
            FUZZ_CHECK(rest.compare(0, name.size(), name) == 0);
            FUZZ_CHECK(name.find_first_of(L" \t") == std::wstring::npos);
        }
        // Only the first "/OUT:" counts.
        FUZZ_CHECK(modConfig::ExtractEXEFileName(line + L" /OUT:Other.exe") == name);
    }
    // Letter case plays no part in where the name is.
    FUZZ_CHECK(modConfig::ExtractEXEFileName(fuzz::AsciiUpper(line)) == fuzz::AsciiUpper(name));

    const bool dll = modConfig::ExtractIsDLL(line);
    FUZZ_CHECK(modConfig::ExtractIsDLL(fuzz::AsciiUpper(line)) == dll);
    if (dll) {
        FUZZ_CHECK(fuzz::ContainsNoCase(line, L"/DLL"));
        FUZZ_CHECK(modConfig::ExtractIsDLL(line + L" x"));
    }
    FUZZ_CHECK(modConfig::ExtractIsDLL(line + L" /dll "));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fakes::Reset();
    const std::string_view bytes = fuzz::Bytes(data, size);
    // A first byte "U" makes the rest UTF-16 units (any, lone surrogates too), "T" makes it
    // pieces of command lines; every input is also read as Latin-1 and as UTF-8.
    if (!bytes.empty() && bytes[0] == 'U') Check(fuzz::Utf16Units(bytes.substr(1)));
    if (!bytes.empty() && bytes[0] == 'T') Check(FromTokens(bytes.substr(1)));
    Check(fuzz::Latin1(bytes));
    Check(fuzz::Utf8(bytes));
    return 0;
}
