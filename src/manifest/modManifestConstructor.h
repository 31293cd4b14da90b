// The text of the side-by-side manifest of the output file: header, identity, description, the
// program's sections, the dependencies on other assemblies and the registration-free COM
// sections of a type library. Everything the document needs is gathered first into one record;
// the builders are pure functions of that record.
#pragma once

#include "config/CConfig.h"
#include "manifest/ManifestXml.h"
#include "manifest/TypeLibReader.h"
#include "support/AppError.h"
#include "version/modVersion.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct BuildContext;

namespace modManifestConstructor {

// A value gathered for the document, or the error gathering it failed with. The builder that
// uses the value raises that error, so a failure is reported under the builder that needs it.
template <class T> struct Gathered {
    T Value{};
    std::optional<AppError> Failure;

    const T& Get() const {
        if (Failure) throw *Failure;
        return Value;
    }
};

// A dependency named by a REF: line: the identity attributes of the manifest it names.
using Reference = Gathered<std::vector<ManifestXml::Attribute>>;

// A COM component named by a COM: or COMTLB: line, as its sections need it.
struct Component {
    std::wstring File; // the resolved full name
    std::wstring Name; // its file element's name: relative to the output's folder, or bare
    std::shared_ptr<const TypeLibReader::TypeLibInfo> TypeLib;
    std::optional<TypeLibReader::Registration> Registered; // what its registration wrote
};

struct ManifestRecord {
    std::wstring ExeFileName;
    Gathered<std::wstring> FileName; // the output's name without its folder
    Gathered<FileVersionRecord> Version;
    CConfig Options;       // the defaults when the project has no option file
    std::wstring DateTime; // the local date and time, taken once
    std::shared_ptr<const TypeLibReader::TypeLibInfo> TypeLib; // none: the file carries none
    Gathered<std::wstring> TypeLibFileName; // the name of the file it is in, without its folder
    std::vector<Reference> References;
    std::vector<Gathered<Component>> Components;
    std::vector<std::wstring> Notes; // for the build log: what gathering passed over
};

// The components' file elements and their interfaces' proxy entries, with nothing that the
// document already holds written twice; each thing left out is a note.
struct ComponentSections {
    std::wstring Files;
    std::wstring Proxies;
    std::vector<std::wstring> Notes;
};

// The whole document, or an empty text after a failure that has been shown to the user.
std::wstring GetManifestText(const BuildContext& context);

// In ManifestGathering.cpp. The reading of type libraries around the link, so that the reading
// process works while the build does: StartReading starts it before the pre-build script (when a
// type library will be read); ReadComponents hands it the components that the option file names,
// after that script; ReadOutput, right after a successful link, hands it the output and waits
// until everything is read, after which the reading process is gone and holds no file.
// StopReading ends it and drops what was read, leaving nothing behind (a failed link, no
// manifest after all). Without them GatherManifestRecord reads everything itself.
void StartReading();
void ReadComponents(const BuildContext& context);
void ReadOutput(const BuildContext& context);
void StopReading();

// Reads what the document of the context's output file needs: its type library and the
// components' (what was read ahead of it, or all of it now; an own library that will not load
// raises its AppError, and nothing else is read), then its version, the date and time and every
// referenced manifest's identity, each failure kept in the record.
ManifestRecord GatherManifestRecord(const BuildContext& context);

// The generation message: the failure of the builder named by CurrentFunction.
void ShowGenerationFailure(const BuildContext& context, const std::wstring& CurrentFunction,
                           const std::wstring& Description);

// The builders. Each stores its own name in CurrentFunction (so that a failure names the builder
// that was running) and raises an AppError on failure.
// Notes, when given, receives what the document left out.
std::wstring GetManifestBody(const ManifestRecord& Record, std::wstring& CurrentFunction,
                             std::vector<std::wstring>* Notes = nullptr);
std::wstring GetAssemblyIdentity(const Gathered<std::wstring>& FileName,
                                 const FileVersionRecord& Version, std::wstring& CurrentFunction);
std::wstring GetDependencies(const std::vector<Reference>& References,
                             std::wstring& CurrentFunction);
std::wstring GetFileSection(const TypeLibReader::TypeLibInfo& TypeLib,
                            const Gathered<std::wstring>& FileName, std::wstring& CurrentFunction);
std::wstring GetCOMClasses(const TypeLibReader::TypeLibInfo& TypeLib,
                           std::wstring& CurrentFunction);
std::wstring GetCOMInterfaceProxies(const TypeLibReader::TypeLibInfo& TypeLib,
                                    std::wstring& CurrentFunction);
// In ManifestComponents.cpp.
ComponentSections GetComponents(const ManifestRecord& Record, std::wstring& CurrentFunction);

// What the document's builders and the components' share.
inline constexpr wchar_t kSeparator[] = L"  \r\n";       // after every top-level block
inline constexpr wchar_t kFileSeparator[] = L"    \r\n"; // inside the file element
// What an ActiveX control registers as the status of its content aspect: recomposeonresize,
// cantlinkinside, insideout, activatewhenvisible, setclientsitefirst.
inline constexpr std::uint32_t kControlContentStatus = 131473;
std::wstring Quoted(const std::wstring& text);
// An interface's proxy entry, naming the platform's marshaler for its kind.
std::wstring ProxyElement(const TypeLibReader::InterfaceInfo& info,
                          const std::wstring& libraryGuid);

} // namespace modManifestConstructor
