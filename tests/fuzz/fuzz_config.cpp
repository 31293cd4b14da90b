// The option file: its bytes decoded by their byte-order mark, then parsed into the options.
#include "FuzzCommon.h"

#include "Fakes.h"
#include "config/CConfig.h"
#include "config/modConfig.h"
#include "context/BuildContext.h"
#include "support/AppError.h"

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

bool IsSurrogate(wchar_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

// Well-formed UTF-8 by the same rules as the decoder's: no overlong forms, surrogates or values
// past U+10FFFF.
bool IsWellFormedUtf8(std::string_view bytes) {
    for (wchar_t c : fuzz::Utf8(bytes)) {
        if (c == L'\uFFFD') return false;
    }
    return true;
}

std::string EncodeUtf8(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        const auto u = static_cast<std::uint32_t>(c);
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else if (u < 0x10000) {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (u >> 18));
            out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

// The 16-bit units of the bytes, or false when they hold a lone surrogate or an odd byte.
bool WellFormedUtf16(std::string_view bytes, bool bigEndian, std::vector<std::uint16_t>& units) {
    if (bytes.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(static_cast<std::uint16_t>(bigEndian ? (a << 8) | b : (b << 8) | a));
    }
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units[i] >= 0xD800 && units[i] <= 0xDBFF) {
            if (i + 1 == units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF) {
                return false;
            }
            ++i;
        } else if (units[i] >= 0xDC00 && units[i] <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

std::vector<std::uint16_t> EncodeUtf16(const std::wstring& text) {
    std::vector<std::uint16_t> units;
    for (wchar_t c : text) {
        auto u = static_cast<std::uint32_t>(c);
        if (u >= 0x10000) {
            u -= 0x10000;
            units.push_back(static_cast<std::uint16_t>(0xD800 + (u >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + (u & 0x3FF)));
        } else {
            units.push_back(static_cast<std::uint16_t>(u));
        }
    }
    return units;
}

void CheckDecoded(const std::string& bytes, const std::wstring& text) {
    const std::string_view view(bytes);
    const bool utf8 = view.starts_with("\xEF\xBB\xBF");
    const bool utf16le = !utf8 && view.starts_with("\xFF\xFE");
    const bool utf16be = !utf8 && view.starts_with("\xFE\xFF");
    if (!utf8 && !utf16le && !utf16be) {
        // A single-byte code page: one character per byte.
        FUZZ_CHECK(text.size() == bytes.size());
        return;
    }
    // Whatever the bytes, the text holds characters only: no surrogate halves, nothing past
    // U+10FFFF (wchar_t is 32-bit here, so pairs come out as one character).
    for (wchar_t c : text) {
        FUZZ_CHECK(!IsSurrogate(c));
        FUZZ_CHECK(static_cast<std::uint32_t>(c) <= 0x10FFFF);
    }
    if (utf8) {
        const std::string_view body = view.substr(3);
        FUZZ_CHECK(text.size() <= body.size());
        if (IsWellFormedUtf8(body)) FUZZ_CHECK(EncodeUtf8(text) == body);
        return;
    }
    const std::string_view body = view.substr(2);
    FUZZ_CHECK(text.size() <= (body.size() + 1) / 2);
    std::vector<std::uint16_t> units;
    if (WellFormedUtf16(body, utf16be, units)) FUZZ_CHECK(EncodeUtf16(text) == units);
}

bool Trimmed(const std::wstring& value) {
    auto blank = [](wchar_t c) {
        return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\0';
    };
    return value.empty() || (!blank(value.front()) && !blank(value.back()));
}

bool SameOptions(const CConfig& a, const CConfig& b) {
    return a.SET_DEF() == b.SET_DEF() && a.SET_COMMENT() == b.SET_COMMENT() &&
           a.SET_MAP_FIXUPS() == b.SET_MAP_FIXUPS() && a.SET_MAP_LINES() == b.SET_MAP_LINES() &&
           a.SET_MAP_EXPORTS() == b.SET_MAP_EXPORTS() && a.SET_MAP() == b.SET_MAP() &&
           a.SET_MANIFEST() == b.SET_MANIFEST() && a.SET_NOMANIFEST() == b.SET_NOMANIFEST() &&
           a.SET_ADMIN() == b.SET_ADMIN() && a.SET_SIGN() == b.SET_SIGN() &&
           a.SET_COMPRESS() == b.SET_COMPRESS() && a.SET_COFF() == b.SET_COFF() &&
           a.SET_CONSOLE() == b.SET_CONSOLE() && a.SET_STUB() == b.SET_STUB() &&
           a.SET_NOHIDPI() == b.SET_NOHIDPI() && a.SET_REF() == b.SET_REF() &&
           a.SET_ASINVOKER() == b.SET_ASINVOKER() &&
           a.SET_HIGHESTAVAILABLE() == b.SET_HIGHESTAVAILABLE() &&
           a.SET_SUPPORTEDOS() == b.SET_SUPPORTEDOS() && a.SET_DPI() == b.SET_DPI() &&
           a.SET_GDISCALING() == b.SET_GDISCALING() && a.SET_LONGPATHS() == b.SET_LONGPATHS() &&
           a.SET_UTF8() == b.SET_UTF8() &&
           std::equal(a.SET_COM().begin(), a.SET_COM().end(), b.SET_COM().begin(),
                      b.SET_COM().end(), [](const ComponentLine& x, const ComponentLine& y) {
                          return x.File == y.File && x.CaptureRegistration == y.CaptureRegistration;
                      });
}

// Parses the text; false when a support operation failed (an AppError, the only error allowed).
bool Parse(CConfig& config, const std::wstring& text, bool& result) {
    try {
        result = config.Init(text);
        return true;
    } catch (const AppError&) {
        return false;
    } catch (...) {
        fuzz::Fail(__FILE__, __LINE__, "Init threw something other than an AppError");
    }
}

std::string TempFileName() {
    return (std::filesystem::temp_directory_path() /
            ("vexmor_fuzz_config_" + std::to_string(getpid()) + ".LinkConfig"))
        .string();
}

void RemoveTempFile() {
    std::error_code ignored;
    std::filesystem::remove(TempFileName(), ignored);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fakes::Reset();
    const std::string bytes(fuzz::Bytes(data, size));
    const std::wstring text = modConfig::DecodeConfigText(bytes);
    CheckDecoded(bytes, text);

    CConfig config;
    bool result = false;
    const bool parsed = Parse(config, text, result);
    const auto messages = fakes::Get().Messages;
    if (parsed) {
        for (const std::wstring& value : {config.SET_COMMENT(), config.SET_STUB()}) {
            FUZZ_CHECK(value.find(L"\r\n") == std::wstring::npos);
            FUZZ_CHECK(Trimmed(value));
        }
        for (const std::wstring& ref : config.SET_REF()) {
            FUZZ_CHECK(ref.find(L"\r\n") == std::wstring::npos);
            FUZZ_CHECK(Trimmed(ref));
        }
        // At most one warning per line, and nothing but warnings.
        std::size_t lines = 1;
        for (std::size_t at = text.find(L"\r\n"); at != std::wstring::npos;
             at = text.find(L"\r\n", at + 2)) {
            ++lines;
        }
        FUZZ_CHECK(messages.size() <= lines);
        for (const fakes::ShownMessage& message : messages) {
            FUZZ_CHECK(message.Icon == platform::Icon::Warning);
            FUZZ_CHECK(message.Buttons == platform::Buttons::Ok);
        }
    }

    // Init starts from the defaults: what an earlier text set leaves no trace.
    CConfig reused;
    bool ignored = false;
    Parse(reused,
          L"CONSOLE\r\nNOSIGN\r\nNOHIDPI\r\nREF:Other.manifest\r\nCOMMENT:old\r\nSTUB:s.exe\r\n"
          L"UTF8\r\nDPI:SYSTEM",
          ignored);
    fakes::Get().Messages.clear();
    bool reusedResult = false;
    FUZZ_CHECK(Parse(reused, text, reusedResult) == parsed);
    if (parsed) {
        FUZZ_CHECK(reusedResult == result);
        FUZZ_CHECK(SameOptions(reused, config));
        FUZZ_CHECK(fakes::Get().Messages.size() == messages.size());
    }

    // The whole reader over a real file, for a share of the inputs (files cost time).
    if (size % 4 == 0) {
        static const bool cleanup = (std::atexit(RemoveTempFile), true);
        (void)cleanup;
        const std::string fileName = TempFileName();
        {
            std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            FUZZ_CHECK(out.good());
        }
        fakes::Get().Messages.clear();
        BuildContext context;
        context.ConfigFileName = fuzz::Latin1(fileName);
        const auto read = modConfig::ReadConfigFile(context);
        FUZZ_CHECK((read != nullptr) == (parsed && result));
        if (read) FUZZ_CHECK(SameOptions(*read, config));
        // Only the parser's warnings: the file itself was readable.
        for (const fakes::ShownMessage& message : fakes::Get().Messages) {
            FUZZ_CHECK(message.Icon == platform::Icon::Warning);
        }
        if (parsed) FUZZ_CHECK(fakes::Get().Messages.size() == messages.size());
    }
    return 0;
}
