// The gathering of everything the document needs, all its reading of files and of the
// registry: the output's and the components' type libraries, the version, the referenced
// manifests, and every name the builders write.
#include "manifest/modManifestConstructor.h"

#include "config/CConfig.h"
#include "context/BuildContext.h"
#include "manifest/modCommon.h"
#include "manifest/modManifestParser.h"
#include "platform/LocalTime.h"
#include "support/AppError.h"
#include "support/QZVSP0100B.h"
#include "version/modVersion.h"

#include <algorithm>
#include <memory>
#include <optional>

namespace modManifestConstructor {
namespace {

using modCommon::Upper;

template <class Resolve> Gathered<std::wstring> Resolved(Resolve resolve) {
    Gathered<std::wstring> name;
    try {
        name.Value = resolve();
    } catch (const AppError& error) {
        name.Failure = error;
    }
    return name;
}

// Users write paths in double quotes, as they do for /OUT:.
std::wstring WithoutQuotes(const std::wstring& entry) {
    if (entry.size() >= 2 && entry.front() == L'"' && entry.back() == L'"')
        return entry.substr(1, entry.size() - 2);
    return entry;
}

Reference ReadReference(const std::wstring& entry, const std::wstring& configFileName) {
    Reference reference;
    try {
        const std::wstring manifest = QZVSP0100B::GetAbsoluteFileName(
            WithoutQuotes(entry), QZVSP0100B::GetFilePath(configFileName));
        reference.Value = modManifestParser::GetAssemblyIdentityFromManifest(manifest);
        if (reference.Value.empty()) {
            reference.Failure = AppError(kAppErrorNumber,
                                         L"Не удалось получить элемент assemblyIdentity из файла " +
                                             Quoted(manifest) + L".");
        }
    } catch (const AppError& error) {
        reference.Failure = error;
    }
    return reference;
}

// A component line resolved and checked as far as can be done without reading the file.
struct ComponentEntry {
    Gathered<Component> Read;
    bool CaptureRegistration = false;
};

std::vector<ComponentEntry> ComponentEntries(const BuildContext& context,
                                             const std::vector<ComponentLine>& lines,
                                             std::vector<std::wstring>& notes) {
    std::vector<ComponentEntry> entries;
    const std::wstring base = QZVSP0100B::GetFilePath(context.ConfigFileName);
    const std::wstring output = Upper(QZVSP0100B::GetAbsoluteFileName(context.ExeFileName, base));
    std::vector<std::wstring> named;
    for (const ComponentLine& line : lines) {
        ComponentEntry entry;
        entry.CaptureRegistration = line.CaptureRegistration;
        Component& component = entry.Read.Value;
        try {
            component.File = QZVSP0100B::GetAbsoluteFileName(WithoutQuotes(line.File), base);
        } catch (const AppError& error) {
            entry.Read.Failure = error;
            entries.push_back(std::move(entry));
            continue;
        }
        const std::wstring key = Upper(component.File);
        if (key == output) {
            notes.push_back(std::wstring(line.CaptureRegistration ? L"COM:" : L"COMTLB:") +
                            L" называет сам выходной файл " + Quoted(component.File) +
                            L"; строка пропущена.");
            continue;
        }
        // A file named twice gets one section, from its first line.
        if (std::find(named.begin(), named.end(), key) != named.end()) continue;
        named.push_back(key);
        if (Upper(QZVSP0100B::GetFileExtension(component.File)) == L"EXE") {
            entry.Read.Failure =
                AppError(kAppErrorNumber, L"Компонент " + Quoted(component.File) +
                                              L" - программа (EXE): её классы нельзя описать как "
                                              L"классы внутрипроцессной библиотеки.");
        } else if (!QZVSP0100B::IsFileExist(component.File)) {
            entry.Read.Failure =
                AppError(kAppErrorNumber, L"Компонент " + Quoted(component.File) +
                                              L" не найден или не является файлом.");
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

// The file element's name: the path below the output's folder, or the bare name of a component
// that must then be deployed beside the output.
std::wstring ComponentName(const std::wstring& file, const std::wstring& exeFileName,
                           std::vector<std::wstring>& notes) {
    std::wstring folder = QZVSP0100B::GetFilePath(exeFileName);
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    if (!folder.empty() && file.size() > folder.size() &&
        Upper(file.substr(0, folder.size())) == Upper(folder))
        return file.substr(folder.size());
    notes.push_back(L"Компонент " + Quoted(file) +
                    L" лежит вне папки выходного файла: в "
                    L"манифесте он назван по имени файла и должен поставляться рядом с " +
                    Quoted(QZVSP0100B::GetFileName(exeFileName, false)) + L".");
    return QZVSP0100B::GetFileName(file, false);
}

// The reading of this build's type libraries, which may start before the link: what it was handed
// and, once the output is read too, what came back.
struct Reading {
    std::unique_ptr<TypeLibReader::Session> Session;
    bool ComponentsHandedOver = false;
    std::vector<ComponentEntry> Entries; // the components, resolved after the pre-build script
    std::vector<std::wstring> Notes;     // what resolving them passed over
    // The components' that were read, in order, then the output's.
    std::optional<std::vector<TypeLibReader::ReadResult>> Results;
};

Reading& TheReading() {
    static Reading reading;
    return reading;
}

} // namespace

void StartReading() {
    TheReading().Session = std::make_unique<TypeLibReader::Session>(TypeLibReader::kReadLimitMs);
}

namespace {

// Resolves the components that the option file names, once, and gives the files to read.
std::vector<TypeLibReader::ReadRequest> ComponentRequests(const BuildContext& context) {
    Reading& reading = TheReading();
    std::vector<TypeLibReader::ReadRequest> requests;
    if (reading.ComponentsHandedOver) return requests;
    reading.ComponentsHandedOver = true;
    try {
        reading.Entries = ComponentEntries(
            context, context.Config ? context.Config->SET_COM() : std::vector<ComponentLine>(),
            reading.Notes);
    } catch (const AppError& error) {
        // The output's own folder could not be told: reported where components are written.
        reading.Entries.resize(1);
        reading.Entries.front().Read.Failure = error;
    }
    for (const ComponentEntry& entry : reading.Entries) {
        if (!entry.Read.Failure)
            requests.push_back({entry.Read.Value.File, entry.CaptureRegistration});
    }
    return requests;
}

} // namespace

void ReadComponents(const BuildContext& context) {
    Reading& reading = TheReading();
    if (reading.Session) reading.Session->Read(ComponentRequests(context));
}

void ReadOutput(const BuildContext& context) {
    Reading& reading = TheReading();
    std::vector<TypeLibReader::ReadRequest> requests = ComponentRequests(context);
    requests.push_back({context.ExeFileName, false});
    if (!reading.Session) {
        // Nothing was read ahead: everything now, a reading process started only for a file that
        // carries a type library (a program that was not expected to).
        reading.Results = TypeLibReader::ReadFiles(requests);
        return;
    }
    reading.Session->Read(std::move(requests));
    reading.Results = reading.Session->Finish();
    reading.Session.reset();
}

void StopReading() {
    TheReading() = Reading();
}

ManifestRecord GatherManifestRecord(const BuildContext& context) {
    // What was read ahead, or everything read now; either way the next document reads its own.
    if (!TheReading().Results) ReadOutput(context);
    Reading reading = std::move(TheReading());
    StopReading();
    std::vector<TypeLibReader::ReadResult>& read = *reading.Results;
    std::vector<ComponentEntry>& entries = reading.Entries;
    ManifestRecord record;
    record.ExeFileName = context.ExeFileName;
    if (context.Config) record.Options = *context.Config;
    record.Notes = std::move(reading.Notes);
    if (const auto& error = read.back().LoadError) {
        // A file without a type library is the usual case: it simply has no COM sections.
        if (error->Number != TypeLibReader::kNoTypeLibNumber) throw *error;
    } else {
        record.TypeLib = read.back().TypeLib;
    }
    try {
        if (!modVersion::GetVersion(context.ExeFileName, record.Version.Value)) {
            record.Version.Failure =
                AppError(kAppErrorNumber, L"Не удалось получить информацию о версии файла");
        }
    } catch (const AppError& error) {
        record.Version.Failure = error;
    }
    record.DateTime = platform::LocalDateTimeText();
    for (const std::wstring& entry : record.Options.SET_REF())
        record.References.push_back(ReadReference(entry, context.ConfigFileName));

    // The names the builders write, resolved here: a failure goes to the builder that needs it.
    record.FileName = Resolved([&] { return QZVSP0100B::GetFileName(context.ExeFileName, false); });
    if (record.TypeLib) {
        record.TypeLibFileName = Resolved(
            [&] { return QZVSP0100B::GetFileName(record.TypeLib->ContainingFile(), false); });
    }
    // The names that file elements take, the output's own first.
    std::vector<std::pair<std::wstring, std::wstring>> names; // upper-case name, file
    if (record.TypeLib && !record.FileName.Failure)
        names.push_back({Upper(record.FileName.Value), context.ExeFileName});
    std::size_t next = 0;
    for (ComponentEntry& entry : entries) {
        Gathered<Component>& gathered = entry.Read;
        Component& component = gathered.Value;
        if (!gathered.Failure) {
            TypeLibReader::ReadResult& result = read[next++];
            for (std::wstring& note : result.Notes) record.Notes.push_back(std::move(note));
            if (result.LoadError) {
                gathered.Failure =
                    AppError(result.LoadError->Number,
                             L"Не удалось загрузить библиотеку типов из компонента " +
                                 Quoted(component.File) + L": " + result.LoadError->Description);
            } else {
                component.TypeLib = result.TypeLib;
                component.Registered = std::move(result.Registered);
            }
        }
        try {
            if (!gathered.Failure)
                component.Name = ComponentName(component.File, context.ExeFileName, record.Notes);
        } catch (const AppError& error) {
            gathered.Failure = error;
        }
        if (!gathered.Failure) {
            const std::wstring key = Upper(component.Name);
            const auto same = std::find_if(names.begin(), names.end(),
                                           [&](const auto& n) { return n.first == key; });
            if (same != names.end()) {
                gathered.Failure =
                    AppError(kAppErrorNumber, L"Компоненты " + Quoted(same->second) + L" и " +
                                                  Quoted(component.File) +
                                                  L" получили бы в манифесте одно имя файла " +
                                                  Quoted(component.Name) + L".");
            } else {
                names.push_back({key, component.File});
            }
        }
        record.Components.push_back(std::move(gathered));
    }
    return record;
}

} // namespace modManifestConstructor
