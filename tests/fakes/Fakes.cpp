#include "Fakes.h"

#include "manifest/ManifestXml.h"
#include "platform/AnsiFile.h"
#include "platform/CommonControls.h"
#include "platform/ImageChecksum.h"
#include "platform/LocalTime.h"
#include "platform/ManifestResource.h"
#include "platform/ProcessArguments.h"
#include "platform/ProcessExit.h"
#include "platform/ProgramFolder.h"
#include "process/modLauncher.h"

#include "support/QZVSP0100B.h"

namespace fakes {

State& Get() {
    static State state;
    return state;
}

void Reset() {
    Get() = State();
}

} // namespace fakes

namespace platform {

Answer ShowBox(const std::wstring& text, Icon icon, Buttons buttons) {
    auto& state = fakes::Get();
    state.Messages.push_back({text, icon, buttons});
    if (buttons == Buttons::OkCancel && !state.Answers.empty()) {
        Answer answer = state.Answers.front();
        state.Answers.pop_front();
        return answer;
    }
    return Answer::Ok;
}

std::optional<std::wstring> EnvironmentValue(const wchar_t*) {
    return std::nullopt; // never unattended: the native tests read the boxes
}
void WriteErrorLine(const std::wstring&) {}
std::wstring ProgramFolder() {
    return fakes::Get().ProgramFolder;
}
std::wstring ProcessCommandLine() {
    return fakes::Get().CommandLine;
}
void InitCommonControls() {}
void EndProcess(std::uint32_t exitCode) {
    throw fakes::ProcessEnded{exitCode};
}

} // namespace platform

#ifndef _WIN32
namespace QZVSP0100B {
bool IsInIDE() {
    return fakes::Get().InIDE;
}
} // namespace QZVSP0100B
#endif

namespace modLauncher {

bool LaunchProcess(const std::wstring& ProgramFile, const std::wstring& Arguments, std::uintptr_t,
                   std::int32_t& ExitCode, std::uint32_t* StartError) {
    auto& state = fakes::Get();
    if (state.LaunchFails) throw *state.LaunchFails;
    state.Launches.push_back({L"process", ProgramFile, Arguments, L"", L"", std::nullopt});
    if (Arguments.size() > 3 && Arguments.rfind(L"@\"", 0) == 0 && Arguments.back() == L'"') {
        std::string bytes;
        if (platform::ReadWholeFile(Arguments.substr(2, Arguments.size() - 3), bytes)) {
            state.Launches.back().ResponseFile = bytes;
        }
    }
    if (!state.LinkerStarts) {
        if (StartError) *StartError = state.StartError;
        return false;
    }
    ExitCode = state.LinkerExitCode;
    return true;
}

bool LaunchBATFile(const std::wstring& ScriptFile, const std::wstring& TargetFile,
                   const std::wstring& CaptureFileName, const std::wstring& FailureText) {
    auto& state = fakes::Get();
    // Like the real launcher: a missing script is no error and runs nothing.
    if (!QZVSP0100B::IsFileExist(ScriptFile)) return true;
    state.Launches.push_back(
        {L"script", ScriptFile, TargetFile, CaptureFileName, FailureText, std::nullopt});
    return true;
}

} // namespace modLauncher

namespace platform {

std::wstring LocalDateTimeText() {
    return fakes::Get().DateTimeText;
}

} // namespace platform

namespace modVersion {

bool GetVersion(const std::wstring& FileName, FileVersionRecord& Record) {
    auto& state = fakes::Get();
    state.VersionReads.push_back(FileName);
    Record = FileVersionRecord();
    auto found = state.Versions.find(FileName);
    if (found == state.Versions.end()) return false;
    Record = found->second;
    return true;
}

} // namespace modVersion

namespace TypeLibReader {
namespace {

class FakeTypeLibInfo : public TypeLibInfo {
  public:
    explicit FakeTypeLibInfo(fakes::FakeTypeLib lib) : lib_(std::move(lib)) {}
    std::wstring ContainingFile() const override {
        return Check(L"ContainingFile", lib_.ContainingFile);
    }
    std::wstring Name() const override { return Check(L"Name", lib_.Name); }
    std::wstring GUID() const override { return Check(L"GUID", lib_.GUID); }
    std::uint16_t MajorVersion() const override {
        return Check(L"MajorVersion", lib_.MajorVersion);
    }
    std::uint16_t MinorVersion() const override {
        return Check(L"MinorVersion", lib_.MinorVersion);
    }
    std::size_t CoClassCount() const override { return lib_.CoClasses.size(); }
    CoClassInfo CoClass(std::size_t index) const override {
        return Check(L"CoClass", lib_.CoClasses.at(index));
    }
    std::size_t InterfaceCount() const override { return lib_.Interfaces.size(); }
    InterfaceInfo Interface(std::size_t index) const override {
        return Check(L"Interface", lib_.Interfaces.at(index));
    }

  private:
    template <typename T> T Check(const wchar_t* member, T value) const {
        if (lib_.FailingMember == member) throw fakes::FakeFailure;
        return value;
    }
    fakes::FakeTypeLib lib_;
};

} // namespace

std::shared_ptr<const TypeLibInfo> TypeLibInfoFromFile(const std::wstring& FileName) {
    auto& state = fakes::Get();
    if (auto error = state.TypeLibErrors.find(FileName); error != state.TypeLibErrors.end()) {
        throw error->second;
    }
    auto lib = state.TypeLibs.find(FileName);
    if (lib == state.TypeLibs.end()) throw AppError(kNoTypeLibNumber, L"Нет библиотеки типов.");
    return std::make_shared<FakeTypeLibInfo>(lib->second);
}

std::vector<ReadResult> ReadFiles(const std::vector<ReadRequest>& Requests, std::uint32_t) {
    auto& state = fakes::Get();
    std::vector<ReadResult> results;
    for (const ReadRequest& request : Requests) {
        ReadResult result;
        try {
            result.TypeLib = TypeLibInfoFromFile(request.File);
        } catch (const AppError& error) {
            result.LoadError = error;
        }
        if (auto found = state.Registrations.find(request.File);
            request.CaptureRegistration && found != state.Registrations.end())
            result.Registered = found->second;
        results.push_back(std::move(result));
    }
    return results;
}

// Read at once, in the caller's thread, when the results are asked for.
struct Session::State {
    std::vector<ReadRequest> Requests;
};
Session::Session(std::uint32_t, bool) : state_(std::make_unique<State>()) {}
Session::~Session() = default;
void Session::Read(std::vector<ReadRequest> Requests) {
    for (ReadRequest& request : Requests) state_->Requests.push_back(std::move(request));
}
std::vector<ReadResult> Session::Finish() {
    return ReadFiles(state_->Requests, kReadLimitMs);
}

} // namespace TypeLibReader

namespace ManifestXml {

bool ReadIdentityAttributes(const std::wstring& FileName, std::vector<Attribute>& Attributes) {
    auto& identities = fakes::Get().ManifestIdentities;
    auto found = identities.find(FileName);
    if (found == identities.end()) return false;
    Attributes = found->second;
    return true;
}

bool CheckDocument(const std::string& Bytes, std::wstring& Reason) {
    auto& state = fakes::Get();
    state.CheckedDocuments.push_back(Bytes);
    Reason = state.XmlRefusal.value_or(L"");
    return !state.XmlRefusal;
}

} // namespace ManifestXml

namespace ManifestResource {

bool Languages(const std::wstring&, std::vector<std::uint16_t>&, std::uint32_t* error) {
    if (error) *error = fakes::Get().ResourceReadError.value_or(0);
    return !fakes::Get().ResourceReadError;
}

bool Update(const std::wstring&, const std::string&, const std::vector<std::uint16_t>& languages,
            std::uint32_t* error) {
    fakes::Get().ResourceUpdates.push_back(languages);
    if (error) *error = fakes::Get().ResourceUpdateError.value_or(0);
    return !fakes::Get().ResourceUpdateError;
}

} // namespace ManifestResource

namespace ImageChecksum {
bool Compute(const std::string& bytes, std::uint32_t& sum, std::uint32_t*) {
    sum = static_cast<std::uint32_t>(bytes.size());
    return true;
}
} // namespace ImageChecksum
