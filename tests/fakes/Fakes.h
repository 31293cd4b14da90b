// Recording fakes of the platform and the process layer for the native unit tests.
#pragma once

#include "manifest/ManifestXml.h"
#include "manifest/TypeLibReader.h"
#include "platform/MessageBox.h"
#include "support/AppError.h"
#include "version/modVersion.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace fakes {

struct ShownMessage {
    std::wstring Text;
    platform::Icon Icon;
    platform::Buttons Buttons;
};

// Thrown where the real program would end the process.
struct ProcessEnded {
    std::uint32_t ExitCode;
};

struct LaunchCall {
    std::wstring Kind; // "process" or "script"
    std::wstring Program;
    std::wstring Arguments; // for a script: its target file
    std::wstring CaptureName;
    std::wstring FailureText;
    // For a linker given "@\"file\"": that response file's bytes when it was started.
    std::optional<std::string> ResponseFile;
};

// A type library as the fake reader hands it out. FailingMember names the reader ("Name",
// "GUID", "CoClass", "Interface", ...) that fails with FakeFailure when it is called.
struct FakeTypeLib {
    std::wstring ContainingFile;
    std::wstring Name;
    std::wstring GUID;
    std::uint16_t MajorVersion = 1;
    std::uint16_t MinorVersion = 0;
    std::vector<TypeLibReader::CoClassInfo> CoClasses;
    std::vector<TypeLibReader::InterfaceInfo> Interfaces;
    std::wstring FailingMember;
};
inline const AppError FakeFailure{0x80004005u, L"Сбой компонента."};

struct State {
    std::vector<ShownMessage> Messages;
    std::deque<platform::Answer> Answers; // answers to OK/Cancel boxes, in order; then Ok
    std::wstring CommandLine;             // the process command line
    std::wstring ProgramFolder = L"C:\\Tools";
    std::vector<LaunchCall> Launches;
    bool InIDE = false;                  // what IsInIDE answers (native build only)
    bool LinkerStarts = true;            // false: the linker fails to start
    std::uint32_t StartError = 2;        // the platform error of a failed start
    std::int32_t LinkerExitCode = 0;     // the exit code of a started linker
    std::optional<AppError> LaunchFails; // thrown by the launcher, as a failing support call would

    // Version records by file name; a file not listed has no readable version resource.
    std::map<std::wstring, FileVersionRecord> Versions;
    std::vector<std::wstring> VersionReads;
    // Type libraries and load failures by file name; a file in neither carries no type library.
    std::map<std::wstring, FakeTypeLib> TypeLibs;
    std::map<std::wstring, AppError> TypeLibErrors;
    // What components' registration code registers, by file name.
    std::map<std::wstring, TypeLibReader::Registration> Registrations;
    // assemblyIdentity attributes of referenced manifests by file name; not listed: unreadable.
    std::map<std::wstring, std::vector<ManifestXml::Attribute>> ManifestIdentities;
    // The finished manifests handed to the XML check; a reason set here refuses them.
    std::vector<std::string> CheckedDocuments;
    std::optional<std::wstring> XmlRefusal;
    std::wstring DateTimeText = L"07.12.2026 9:05:01";
    // Manifest resources: a read error means no program; updates by languages, or refused.
    std::optional<std::uint32_t> ResourceReadError, ResourceUpdateError;
    std::vector<std::vector<std::uint16_t>> ResourceUpdates;
};

// The one state of the fakes; Reset() before each test.
State& Get();
void Reset();

} // namespace fakes
