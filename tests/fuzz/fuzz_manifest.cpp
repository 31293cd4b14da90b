// The manifest's text: escaping, the document built from a version record, the options, a type
// library and referenced manifests, and the dependency block of one referenced manifest.
//
// Input: lines "key=value" (UTF-8 values), unknown keys ignored:
//   exe=C:\Work\Tool.exe      the output file       nover=1   it has no version record
//   desc=...  ver=1.2.3.4  lib=1  date=...           the version record and the local time
//   tlb=Name GUIDHEX          the output carries a type library of that name and identifier
//   tlbfile=...  tlbver=2.1  fail=CoClass  tlberr=text   (its file, version, a failing reader,
//                                                          or a library that does not load)
//   class=Name GUIDHEX [control]  a coclass      iface=Name GUIDHEX C|D|X [BASEHEX...]
//   opt=REF:Other.manifest    a line of the option file   noconfig=1   no option file at all
//   id=name=Other|version=1.0.0.0|x:y=z   the identity of the next REF, values as the parser
//                                         gives them (id=! for an unreadable one)
#include "FuzzCommon.h"

#include "Fakes.h"
#include "config/CConfig.h"
#include "context/BuildContext.h"
#include "manifest/TypeLibReader.h"
#include "manifest/modCommon.h"
#include "manifest/modManifestConstructor.h"
#include "manifest/modManifestParser.h"
#include "support/AppError.h"
#include "support/QZVSP0100B.h"
#include "version/modVersion.h"

#include <algorithm>
#include <optional>
#include <set>

namespace {

using TypeLibReader::InterfaceKind;

// ---- escaping ----

const std::wstring_view kEntities[][2] = {
    {L"&amp;", L"&"}, {L"&lt;", L"<"}, {L"&gt;", L">"}, {L"&quot;", L"\""}};

bool StartsEntity(std::wstring_view text) {
    return std::any_of(std::begin(kEntities), std::end(kEntities),
                       [&](const auto& entity) { return text.starts_with(entity[0]); });
}

// One of the four, or a decimal character reference (the XML component writes those too).
bool StartsReference(std::wstring_view text) {
    if (StartsEntity(text)) return true;
    if (!text.starts_with(L"&#")) return false;
    std::size_t i = 2;
    while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') ++i;
    return i > 2 && i < text.size() && text[i] == L';';
}

std::wstring Unescaped(std::wstring_view text) {
    std::wstring out;
    while (!text.empty()) {
        bool replaced = false;
        for (const auto& entity : kEntities) {
            if (text.starts_with(entity[0])) {
                out += entity[1];
                text.remove_prefix(entity[0].size());
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            out += text.front();
            text.remove_prefix(1);
        }
    }
    return out;
}

void CheckEscape(const std::wstring& text) {
    const std::wstring escaped = modCommon::csEscapeHTML(text);
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        FUZZ_CHECK(escaped[i] != L'<' && escaped[i] != L'>' && escaped[i] != L'"');
        if (escaped[i] == L'&') FUZZ_CHECK(StartsEntity(std::wstring_view(escaped).substr(i)));
    }
    FUZZ_CHECK(Unescaped(escaped) == text);
    // The apostrophe stays, and so does everything else but the four characters.
    FUZZ_CHECK(std::count(escaped.begin(), escaped.end(), L'\'') ==
               std::count(text.begin(), text.end(), L'\''));
}

// ---- the document ----

bool IsNameChar(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           c == L'_' || c == L':' || c == L'.' || c == L'-';
}

bool IsSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

// Character data and attribute values: a raw '<' never, '&' only as one of the four entities.
void CheckCharacterData(std::wstring_view text, bool attribute) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        FUZZ_CHECK(text[i] != L'<');
        if (!attribute) FUZZ_CHECK(text[i] != L'>');
        if (text[i] == L'&') FUZZ_CHECK(StartsReference(text.substr(i)));
    }
}

std::wstring_view TakeName(std::wstring_view& text) {
    std::size_t length = 0;
    while (length < text.size() && IsNameChar(text[length])) ++length;
    FUZZ_CHECK(length > 0);
    std::wstring_view name = text.substr(0, length);
    text.remove_prefix(length);
    return name;
}

// The elements after the header: properly nested under one "assembly", attributes quoted and
// unique per element, no markup characters where data stands.
void CheckElements(std::wstring_view text) {
    std::vector<std::wstring_view> open;
    bool rootSeen = false;
    while (!text.empty()) {
        const std::size_t lt = text.find(L'<');
        const std::wstring_view data = text.substr(0, lt);
        CheckCharacterData(data, false);
        // Only blanks and line ends around the root.
        if (open.empty()) {
            for (wchar_t c : data) FUZZ_CHECK(IsSpace(c));
        }
        if (lt == std::wstring_view::npos) break;
        text.remove_prefix(lt + 1);
        if (!text.empty() && text.front() == L'/') {
            text.remove_prefix(1);
            const std::wstring_view name = TakeName(text);
            FUZZ_CHECK(!open.empty() && open.back() == name);
            open.pop_back();
            FUZZ_CHECK(!text.empty() && text.front() == L'>');
            text.remove_prefix(1);
            continue;
        }
        const std::wstring_view name = TakeName(text);
        if (open.empty()) {
            FUZZ_CHECK(!rootSeen && name == L"assembly");
            rootSeen = true;
        }
        std::set<std::wstring_view> attributes;
        for (;;) {
            bool spaced = false;
            while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1), spaced = true;
            FUZZ_CHECK(!text.empty());
            if (text.starts_with(L"/>")) {
                text.remove_prefix(2);
                break;
            }
            if (text.front() == L'>') {
                text.remove_prefix(1);
                open.push_back(name);
                break;
            }
            FUZZ_CHECK(spaced);
            const std::wstring_view attribute = TakeName(text);
            FUZZ_CHECK(attributes.insert(attribute).second);
            FUZZ_CHECK(text.starts_with(L"=\""));
            text.remove_prefix(2);
            const std::size_t close = text.find(L'"');
            FUZZ_CHECK(close != std::wstring_view::npos);
            CheckCharacterData(text.substr(0, close), true);
            text.remove_prefix(close + 1);
        }
    }
    FUZZ_CHECK(rootSeen && open.empty());
}

void CheckDocument(const std::wstring& text, bool singleLineInputs) {
    FUZZ_CHECK(text.ends_with(L"</assembly>\r\n"));
    // Only characters that XML allows (lone surrogates are the encoder's to replace).
    for (wchar_t c : text) FUZZ_CHECK(c >= 0x20 ? c != 0xFFFE && c != 0xFFFF : IsSpace(c));
    if (singleLineInputs) FUZZ_CHECK(fuzz::OnlyCrLfLineEnds(text));

    const std::wstring declaration =
        L"<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n<!--";
    FUZZ_CHECK(text.starts_with(declaration));
    const std::size_t end = text.find(L"-->", declaration.size());
    FUZZ_CHECK(end != std::wstring::npos);
    // A comment holds no "--" and does not end with '-'.
    const std::wstring_view comment =
        std::wstring_view(text).substr(declaration.size(), end - declaration.size());
    FUZZ_CHECK(comment.find(L"--") == std::wstring_view::npos);
    FUZZ_CHECK(!comment.ends_with(L"-"));
    CheckElements(std::wstring_view(text).substr(end + 3));
}

// ---- the input ----

std::uint32_t Number(std::wstring_view text) {
    std::uint32_t value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') break;
        value = value * 10 + static_cast<std::uint32_t>(c - L'0');
    }
    return value;
}

std::vector<std::wstring> Split(std::wstring_view text, wchar_t separator) {
    std::vector<std::wstring> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.emplace_back(text.substr(0, at));
        if (at == std::wstring_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

// The braced registry form the type-library reader promises, from the hex digits given.
std::wstring Guid(std::wstring_view text) {
    std::wstring hex;
    for (wchar_t c : text) {
        const wchar_t upper = fuzz::AsciiUpper(c);
        if ((upper >= L'0' && upper <= L'9') || (upper >= L'A' && upper <= L'F')) hex += upper;
    }
    hex.resize(32, L'0');
    return L"{" + hex.substr(0, 8) + L"-" + hex.substr(8, 4) + L"-" + hex.substr(12, 4) + L"-" +
           hex.substr(16, 4) + L"-" + hex.substr(20) + L"}";
}

// An attribute as the XML component hands it out: a name (perhaps with a prefix), the value
// expanded; namespace declarations and repeated names never come out of a parsed document.
std::optional<ManifestXml::Attribute> Attribute(const std::wstring& text,
                                                std::set<std::wstring>& names) {
    const std::size_t equals = text.find(L'=');
    std::wstring name;
    for (wchar_t c : text.substr(0, equals)) {
        if (IsNameChar(c)) name += c;
    }
    if (name.empty() || !((name[0] >= L'a' && name[0] <= L'z') ||
                          (name[0] >= L'A' && name[0] <= L'Z') || name[0] == L'_')) {
        name.insert(0, 1, L'a');
    }
    if (name.starts_with(L"xmlns") || !names.insert(name).second) return std::nullopt;
    return ManifestXml::Attribute{name,
                                  equals == std::wstring::npos ? L"" : text.substr(equals + 1)};
}

struct Input {
    std::wstring Exe = L"C:\\Work\\Tool.exe";
    std::optional<FileVersionRecord> Version = FileVersionRecord{1, 0, 0, 1, L"Tool", false};
    std::optional<std::wstring> Date;
    std::optional<fakes::FakeTypeLib> TypeLib;
    std::optional<std::wstring> TypeLibError;
    std::wstring Options;
    bool NoConfig = false;
    std::vector<std::optional<std::vector<ManifestXml::Attribute>>> Identities;
    std::vector<std::wstring> Texts; // everything taken from the input, for the escaping checks
};

Input Parse(std::string_view bytes) {
    Input input;
    for (std::string_view raw : fuzz::Lines(bytes)) {
        const std::size_t equals = raw.find('=');
        if (equals == std::string_view::npos) continue;
        const std::string_view key = raw.substr(0, equals);
        const std::wstring value = fuzz::Utf8(raw.substr(equals + 1));
        input.Texts.push_back(value);
        const std::vector<std::wstring> words = Split(value, L' ');
        auto typeLib = [&]() -> fakes::FakeTypeLib& {
            if (!input.TypeLib) {
                input.TypeLib.emplace();
                input.TypeLib->ContainingFile = input.Exe;
                input.TypeLib->Name = L"ToolLib";
                input.TypeLib->GUID = Guid(L"");
            }
            return *input.TypeLib;
        };
        if (key == "exe") {
            input.Exe = value;
        } else if (key == "nover") {
            input.Version.reset();
        } else if (key == "desc" && input.Version) {
            input.Version->Description = value;
        } else if (key == "ver" && input.Version) {
            const auto parts = Split(value, L'.');
            std::int32_t* fields[] = {&input.Version->Major, &input.Version->Minor,
                                      &input.Version->Build, &input.Version->Revision};
            for (std::size_t i = 0; i < parts.size() && i < 4; ++i) {
                const bool negative = parts[i].starts_with(L"-");
                const std::uint32_t number = Number(std::wstring_view(parts[i]).substr(negative));
                *fields[i] = static_cast<std::int32_t>(negative ? 0u - number : number);
            }
        } else if (key == "lib" && input.Version) {
            input.Version->IsLibrary = value.starts_with(L"1");
        } else if (key == "date") {
            input.Date = value;
        } else if (key == "tlb") {
            typeLib().Name = words[0];
            typeLib().GUID = Guid(words.size() > 1 ? words[1] : L"");
        } else if (key == "tlbfile") {
            typeLib().ContainingFile = value;
        } else if (key == "tlbver") {
            const auto parts = Split(value, L'.');
            typeLib().MajorVersion = static_cast<std::uint16_t>(Number(parts[0]));
            typeLib().MinorVersion =
                static_cast<std::uint16_t>(parts.size() > 1 ? Number(parts[1]) : 0);
        } else if (key == "fail") {
            typeLib().FailingMember = value;
        } else if (key == "tlberr") {
            input.TypeLibError = value;
        } else if (key == "class") {
            typeLib().CoClasses.push_back({words[0], Guid(words.size() > 1 ? words[1] : L""),
                                           words.size() > 2 && words[2] == L"control"});
        } else if (key == "iface") {
            TypeLibReader::InterfaceInfo info;
            info.Name = words[0];
            info.GUID = Guid(words.size() > 1 ? words[1] : L"");
            const wchar_t kind = words.size() > 2 && !words[2].empty() ? words[2][0] : L'C';
            info.Kind = kind == L'D'   ? InterfaceKind::Dual
                        : kind == L'X' ? InterfaceKind::DispatchOnly
                                       : InterfaceKind::Custom;
            for (std::size_t i = 3; i < words.size(); ++i)
                info.ImpliedInterfaces.push_back(Guid(words[i]));
            typeLib().Interfaces.push_back(info);
        } else if (key == "opt") {
            input.Options += value + L"\r\n";
        } else if (key == "noconfig") {
            input.NoConfig = true;
        } else if (key == "id") {
            if (value == L"!") {
                input.Identities.emplace_back();
                continue;
            }
            std::vector<ManifestXml::Attribute> attributes;
            std::set<std::wstring> names;
            for (const std::wstring& part : Split(value, L'|')) {
                if (auto attribute = Attribute(part, names)) attributes.push_back(*attribute);
            }
            input.Identities.emplace_back(attributes);
        }
    }
    return input;
}

// The block copies the plain and xml: attributes, in order, each once and escaped; without a
// name or a version there is no block.
// The attributes a dependency copies: those without a prefix and the xml: ones, in order, and
// none at all for an identity that lacks a name or a version.
void CheckCopiedAttributes(const std::vector<ManifestXml::Attribute>& copied,
                           const std::vector<ManifestXml::Attribute>& attributes) {
    std::vector<ManifestXml::Attribute> expected;
    bool name = false, version = false;
    for (const auto& attribute : attributes) {
        const std::size_t colon = attribute.Name.find(L':');
        if (colon != std::wstring::npos && attribute.Name.substr(0, colon) != L"xml") continue;
        expected.push_back(attribute);
        name = name || attribute.Name == L"name";
        version = version || attribute.Name == L"version";
    }
    if (!name || !version) expected.clear();
    FUZZ_CHECK(copied.size() == expected.size());
    for (std::size_t i = 0; i < copied.size() && i < expected.size(); ++i) {
        FUZZ_CHECK(copied[i].Name == expected[i].Name && copied[i].Value == expected[i].Value);
    }
}

const wchar_t* const kBuilders[] = {L"GetManifestBody", L"GetAssemblyIdentity",
                                    L"GetDependencies", L"GetFileSection",
                                    L"GetCOMClasses",   L"GetCOMInterfaceProxies"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fakes::Reset();
    const std::string_view bytes = fuzz::Bytes(data, size);
    CheckEscape(fuzz::Utf8(bytes));
    CheckEscape(fuzz::Latin1(bytes));

    const Input input = Parse(bytes);
    for (const std::wstring& text : input.Texts) CheckEscape(text);
    // Line ends inside the records' texts end up in the document as they are.
    bool singleLineInputs = true;
    for (const std::wstring& text : input.Texts) {
        singleLineInputs = singleLineInputs && text.find_first_of(L"\r\n") == std::wstring::npos;
    }

    auto& state = fakes::Get();
    if (input.Version) state.Versions[input.Exe] = *input.Version;
    if (input.Date) state.DateTimeText = *input.Date;
    if (input.TypeLib) state.TypeLibs[input.Exe] = *input.TypeLib;
    if (input.TypeLibError)
        state.TypeLibErrors.emplace(input.Exe, AppError(0x80029C4Au, *input.TypeLibError));

    BuildContext context;
    context.ExeFileName = input.Exe;
    DeriveFileNames(context);
    std::vector<std::wstring> identityFiles;
    if (!input.NoConfig) {
        auto config = std::make_shared<CConfig>();
        try {
            config->Init(input.Options);
        } catch (const AppError&) {
            return 0;
        }
        context.Config = config;
        // The references resolve beside the option file, where the document will look for them.
        const std::wstring base = QZVSP0100B::GetFilePath(context.ConfigFileName);
        for (std::size_t i = 0; i < config->SET_REF().size(); ++i) {
            const std::wstring file = QZVSP0100B::GetAbsoluteFileName(config->SET_REF()[i], base);
            if (i < input.Identities.size() && input.Identities[i] &&
                !state.ManifestIdentities.count(file)) {
                state.ManifestIdentities[file] = *input.Identities[i];
                identityFiles.push_back(file);
            }
        }
    }

    const std::size_t before = state.Messages.size();
    const std::wstring text = modManifestConstructor::GetManifestText(context);
    // Empty exactly when one failure was shown; otherwise a whole document and no message.
    if (text.empty()) {
        FUZZ_CHECK(state.Messages.size() == before + 1);
        FUZZ_CHECK(state.Messages.back().Icon == platform::Icon::Error);
    } else {
        FUZZ_CHECK(state.Messages.size() == before);
        CheckDocument(text, singleLineInputs);
    }

    // The body alone gives the same document, or fails naming a builder.
    std::wstring body;
    std::wstring current;
    bool failed = false;
    try {
        const auto record = modManifestConstructor::GatherManifestRecord(context);
        body = modManifestConstructor::GetManifestBody(record, current);
        FUZZ_CHECK(current == L"GetManifestBody");
    } catch (const AppError&) {
        failed = true;
        FUZZ_CHECK(current.empty() || std::find(std::begin(kBuilders), std::end(kBuilders),
                                                current) != std::end(kBuilders));
    }
    FUZZ_CHECK(failed == text.empty());
    if (!failed) FUZZ_CHECK(body == text);

    // Each referenced manifest's block on its own, and a file that yields none.
    for (const std::wstring& file : identityFiles) {
        const auto copied = modManifestParser::GetAssemblyIdentityFromManifest(file);
        CheckCopiedAttributes(copied, state.ManifestIdentities[file]);
        const std::wstring block = modCommon::Element(6, L"assemblyIdentity", copied);
        FUZZ_CHECK(copied.empty() || text.empty() ||
                   text.find(modCommon::XmlCharacters(block)) != std::wstring::npos);
    }
    FUZZ_CHECK(modManifestParser::GetAssemblyIdentityFromManifest(context.ExeFileName + L".none")
                   .empty() ||
               state.ManifestIdentities.count(context.ExeFileName + L".none"));
    return 0;
}
