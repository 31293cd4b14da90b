// The project's options, parsed from the text of its configuration file.
#pragma once

#include <string>
#include <vector>

// How a program's windows follow the screen's DPI.
enum class DpiMode {
    PerMonitorV2, // every monitor's own DPI, changes included (the default)
    System,       // the DPI of the primary monitor at sign-in
};

// A COM component that a program uses, named by a COM: or COMTLB: line.
struct ComponentLine {
    std::wstring File;                // as written, relative names counting from the option file
    bool CaptureRegistration = false; // COM: also runs its registration code, redirected
};

class CConfig {
  public:
    // Every value to its default and a new, empty list of references.
    void SetDefaults();
    // Parses the text, starting from the defaults; warns about each line it does not know.
    // A failing support operation propagates as an AppError.
    bool Init(const std::wstring& text);

    bool SET_DEF() const { return def_; }
    std::wstring SET_COMMENT() const { return comment_; }
    bool SET_MAP_FIXUPS() const { return mapFixups_; }
    bool SET_MAP_LINES() const { return mapLines_; }
    bool SET_MAP_EXPORTS() const { return mapExports_; }
    bool SET_MAP() const { return map_; }
    bool SET_MANIFEST() const { return manifest_; }
    bool SET_NOMANIFEST() const { return noManifest_; }
    // The manifest goes into the program itself instead of the file beside it.
    bool SET_EMBED() const { return embed_; }
    bool SET_ADMIN() const { return admin_; }
    bool SET_SIGN() const { return sign_; }
    bool SET_COMPRESS() const { return compress_; }
    bool SET_COFF() const { return coff_; }
    bool SET_CONSOLE() const { return console_; }
    std::wstring SET_STUB() const { return stub_; }
    bool SET_NOHIDPI() const { return noHiDpi_; }
    // The list itself, in the order of the lines; duplicates and empty entries kept.
    const std::vector<std::wstring>& SET_REF() const { return refs_; }

    // The settings for today's Windows (programs only).
    bool SET_ASINVOKER() const { return asInvoker_; }
    bool SET_HIGHESTAVAILABLE() const { return highestAvailable_; }
    bool SET_SUPPORTEDOS() const { return supportedOs_; }
    DpiMode SET_DPI() const { return dpi_; }
    bool SET_GDISCALING() const { return gdiScaling_; }
    bool SET_LONGPATHS() const { return longPaths_; }
    bool SET_UTF8() const { return utf8_; }
    // The components, in the order of the lines; repeats kept.
    const std::vector<ComponentLine>& SET_COM() const { return components_; }

    // Flags in the output's own headers, set after the link.
    bool SET_LARGEADDRESSAWARE() const { return largeAddressAware_; }
    bool SET_NXCOMPAT() const { return nxCompat_; }
    bool SET_DYNAMICBASE() const { return dynamicBase_; }
    bool SET_TSAWARE() const { return tsAware_; }

    // Every option line Init knows, each in its main spelling: the keywords, then the starts of
    // the lines that carry a value ("COMMENT:" and the like).
    static std::vector<std::wstring> Keywords();

  private:
    bool console_ = false;
    bool coff_ = false;
    bool compress_ = false;
    bool sign_ = true;
    bool manifest_ = false;
    bool noManifest_ = false;
    bool embed_ = false;
    bool admin_ = false;
    bool map_ = false;
    bool mapExports_ = false;
    bool mapLines_ = false;
    bool mapFixups_ = false;
    std::wstring comment_;
    bool def_ = false;
    std::wstring stub_;
    bool noHiDpi_ = false;
    std::vector<std::wstring> refs_;
    bool asInvoker_ = false;
    bool highestAvailable_ = false;
    bool supportedOs_ = false;
    DpiMode dpi_ = DpiMode::PerMonitorV2;
    bool gdiScaling_ = false;
    bool longPaths_ = false;
    bool utf8_ = false;
    std::vector<ComponentLine> components_;
    bool largeAddressAware_ = false;
    bool nxCompat_ = false;
    bool dynamicBase_ = false;
    bool tsAware_ = false;

    struct Keyword {
        const wchar_t* Text;
        bool CConfig::*Value;
        bool Setting;
        bool Alias; // another spelling of the keyword before it
    };
    static const std::vector<Keyword>& KeywordTable();
};
