// The type libraries of files, read by the reading process (TypeLibReaderChild), a child of the
// program: the platform's reader can crash on a broken library, and a component's registration
// code can do anything. Nothing is registered: libraries are loaded with REGKIND_NONE.
#include "manifest/TypeLibReader.h"

#include "manifest/ComRegistration.h"
#include "manifest/TypeLibReaderChild.h"
#include "manifest/TypeLibRecord.h"
#include "process/ChildRun.h"

#include "support/AppError.h"
#include "support/QZVSP0100A.h"

#include "common/LongPath.h"
#include "common/ModulePath.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <cstdio>
#include <cwchar>
#include <utility>
#include <vector>

namespace TypeLibReader {
namespace {

// Errors of a file that exists but is no module, such as a bare .tlb file.
bool IsNoModuleError(DWORD error) {
    return error == ERROR_BAD_EXE_FORMAT || error == ERROR_INVALID_EXE_SIGNATURE ||
           error == ERROR_EXE_MARKED_INVALID || error == ERROR_BAD_FORMAT;
}

class DataFileModule {
  public:
    // A file that is no module is left unopened (get() is null): it has no resources at all.
    explicit DataFileModule(const std::wstring& fileName)
        : module_(LoadLibraryExW(LongPath::ForLoader(fileName).c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {
        const DWORD error = module_ ? 0 : GetLastError();
        if (!module_ && !IsNoModuleError(error)) {
            const auto number = static_cast<std::uint32_t>(HRESULT_FROM_WIN32(error));
            throw AppError(number, QZVSP0100A::GetAPIErrorDescription(number));
        }
    }
    DataFileModule(const DataFileModule&) = delete;
    DataFileModule& operator=(const DataFileModule&) = delete;
    ~DataFileModule() {
        if (module_) FreeLibrary(module_);
    }
    HMODULE get() const { return module_; }

  private:
    HMODULE module_;
};

BOOL CALLBACK NoteFirstName(HMODULE, LPCWSTR, LPWSTR, LONG_PTR found) {
    *reinterpret_cast<bool*>(found) = true;
    return FALSE; // one is enough
}

// The platform's loader answers a file without a type library and a file with a broken one
// with the same number; only the resource tells the two apart.
bool HasTypeLibResource(const std::wstring& fileName) {
    DataFileModule module(fileName);
    if (!module.get()) return false;
    bool found = false;
    EnumResourceNamesW(module.get(), L"TYPELIB", NoteFirstName, reinterpret_cast<LONG_PTR>(&found));
    return found;
}

// The reading process sends failures as numbers: their descriptions are the program's.
void Describe(TypeLibRecord::Failure& failure) {
    if (failure.Description.empty())
        failure.Description = QZVSP0100A::GetAPIErrorDescription(failure.Number);
}

void Describe(TypeLibRecord::Record& record) {
    if (record.LoadError) Describe(*record.LoadError);
    auto each = [](auto& item) {
        if (!item.Value) Describe(item.Error);
    };
    each(record.Name);
    each(record.GUID);
    each(record.MajorVersion);
    each(record.MinorVersion);
    for (auto& item : record.CoClasses) each(item);
    for (auto& item : record.Interfaces) each(item);
}

// The reading process's program beside this one; this one itself where it is missing (a copy
// installed by hand), which can play the part too.
std::wstring ReaderProgram(const std::wstring& program) {
    const std::wstring reader =
        program.substr(0, program.find_last_of(L"\\/") + 1) + TypeLibReaderChild::kProgramName;
    const DWORD attributes = GetFileAttributesW(LongPath::ForFileApi(reader).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)
               ? reader
               : program;
}

std::wstring HexCode(std::uint32_t code) {
    wchar_t text[16] = {};
    std::swprintf(text, 16, L"0x%08X", static_cast<unsigned>(code));
    return text;
}

std::wstring Seconds(std::uint32_t limitMs) {
    return std::to_wstring((limitMs + 999) / 1000);
}

// How a request ended that the reading process did not answer.
struct Failure {
    enum class Kind { NotStarted, TimedOut, Ended, Garbled } How = Kind::Ended;
    std::uint32_t Code = 0; // the reason it did not start, or its exit code
};

// Why the child gave no record, for the type-library message.
AppError ReaderFailure(const Failure& failure, std::uint32_t limitMs) {
    constexpr std::uint32_t kTimeoutNumber = 0x800705B4u; // HRESULT of ERROR_TIMEOUT
    switch (failure.How) {
    case Failure::Kind::NotStarted: {
        const auto number = static_cast<std::uint32_t>(HRESULT_FROM_WIN32(failure.Code));
        return AppError(number, QZVSP0100A::GetAPIErrorDescription(number));
    }
    case Failure::Kind::TimedOut:
        return AppError(kTimeoutNumber, L"Чтение библиотеки типов не завершилось за " +
                                            Seconds(limitMs) + L" секунд и было остановлено.");
    case Failure::Kind::Garbled:
        return AppError(kAppErrorNumber, L"Чтение библиотеки типов вернуло неполные данные.");
    case Failure::Kind::Ended:
        break;
    }
    // Exception codes carry the error severity bits; plain exit codes do not.
    if (failure.Code >= 0x80000000u)
        return AppError(failure.Code, L"Чтение библиотеки типов прервано исключением " +
                                          HexCode(failure.Code) + L".");
    return AppError(kAppErrorNumber, L"Чтение библиотеки типов завершилось с кодом " +
                                         HexCode(failure.Code) + L" и не вернуло результата.");
}

// Why a registration gave nothing, for the note: the type library's data stands instead.
std::wstring RegistrationNote(const std::wstring& file, const std::wstring& what) {
    return L"Регистрация компонента \"" + file + L"\" " + what +
           L"; использованы данные его библиотеки типов.";
}

std::wstring LostRegistrationNote(const std::wstring& file, const Failure& failure,
                                  std::uint32_t limitMs) {
    switch (failure.How) {
    case Failure::Kind::TimedOut:
        return RegistrationNote(file, L"не завершилась за " + Seconds(limitMs) +
                                          L" секунд и была остановлена");
    case Failure::Kind::Garbled:
        return RegistrationNote(file, L"вернула неполные данные");
    case Failure::Kind::NotStarted:
    case Failure::Kind::Ended:
        break;
    }
    if (failure.Code >= 0x80000000u)
        return RegistrationNote(file, L"прервана исключением " + HexCode(failure.Code));
    return RegistrationNote(file, L"завершилась с кодом " + HexCode(failure.Code));
}

std::wstring OutcomeNote(const std::wstring& file, const Registration& registration) {
    switch (registration.How) {
    case Registration::Outcome::Captured:
        break;
    case Registration::Outcome::NoEntryPoint:
        return L"Компонент \"" + file +
               L"\" не экспортирует DllRegisterServer; использованы данные его библиотеки типов.";
    case Registration::Outcome::Failed:
        return RegistrationNote(file, L"не удалась: " + HexCode(registration.Number) + L" " +
                                          QZVSP0100A::GetAPIErrorDescription(registration.Number));
    }
    return std::wstring();
}

using TypeLibRecord::FrameKind;

// One reading process: requests go to it one at a time, each with a time limit of its own.
class ReadingProcess {
  public:
    static std::unique_ptr<ReadingProcess> Start(const std::wstring& program, Failure& failure) {
        std::uint32_t error = 0;
        auto child = ChildRun::Child::Start(
            [&](const ChildRun::Child::Handles& handles) {
                return L"\"" + program + L"\" " + TypeLibReaderChild::kArgument + L" " +
                       std::to_wstring(handles.Pipe) + L" " + std::to_wstring(handles.Parent);
            },
            error);
        if (!child) {
            failure = {Failure::Kind::NotStarted, error};
            return nullptr;
        }
        return std::unique_ptr<ReadingProcess>(new ReadingProcess(std::move(child)));
    }

    ~ReadingProcess() {
        child_->End();
        // Its registrations went under a key of its own, which nothing else will delete.
        ComRegistration::DeleteScratchKey(
            ComRegistration::ScratchKey(child_->ProcessId(), child_->StartTime()));
    }

    std::size_t Answered() const { return answered_; }
    ChildRun::Child& Child() { return *child_; }

    // Fills result with what the process sent for the request; false, with the way it failed,
    // when it did not answer whole in time. The process is of no further use then.
    bool Read(std::uint32_t index, const ReadRequest& request, ReadResult& result,
              std::uint32_t limitMs, Failure& failure) {
        const auto kind =
            request.CaptureRegistration ? FrameKind::ReadAndRegister : FrameKind::ReadTypeLib;
        if (!child_->Send(TypeLibRecord::FrameBytes(
                kind, index, TypeLibRecord::SerializeTexts({request.File})))) {
            failure = Ended();
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        std::vector<std::wstring> before;
        bool haveBefore = false, registered = false;
        for (;;) {
            const ChildRun::Child::Event event = child_->Receive(received_, deadline);
            for (TypeLibRecord::Frame& frame : TypeLibRecord::TakeFrames(received_)) {
                // Every frame belongs to this request, in this order, or the process is broken.
                const bool expected =
                    frame.Request == index &&
                    (frame.Kind == FrameKind::TypeLib ? !result.TypeLib && !result.LoadError
                     : frame.Kind == FrameKind::KeysBefore
                         ? request.CaptureRegistration && result.TypeLib && !haveBefore
                     : frame.Kind == FrameKind::Registration ? haveBefore && !registered
                     : frame.Kind == FrameKind::Done
                         ? (result.TypeLib || result.LoadError) &&
                               (!request.CaptureRegistration || result.LoadError || registered)
                         : false);
                if (!expected || !Take(frame, request, result, before, haveBefore, registered)) {
                    failure = {Failure::Kind::Garbled, 0};
                    Finish(request, result, before, haveBefore);
                    return false;
                }
                if (frame.Kind == FrameKind::Done) {
                    ++answered_;
                    Finish(request, result, before, haveBefore);
                    return true;
                }
            }
            if (event == ChildRun::Child::Event::Data) continue;
            failure = event == ChildRun::Child::Event::TimedOut
                          ? Failure{Failure::Kind::TimedOut, 0}
                          : Ended();
            Finish(request, result, before, haveBefore);
            return false;
        }
    }

  private:
    explicit ReadingProcess(std::unique_ptr<ChildRun::Child> child) : child_(std::move(child)) {}

    Failure Ended() {
        child_->End();
        return {Failure::Kind::Ended, child_->ExitCode()};
    }

    static bool Take(const TypeLibRecord::Frame& frame, const ReadRequest& request,
                     ReadResult& result, std::vector<std::wstring>& before, bool& haveBefore,
                     bool& registered) {
        switch (frame.Kind) {
        case FrameKind::TypeLib: {
            TypeLibRecord::Record record;
            if (!TypeLibRecord::Parse(frame.Bytes, record)) return false;
            Describe(record);
            try {
                result.TypeLib = TypeLibRecord::InfoFromRecord(request.File, std::move(record));
            } catch (const AppError& error) {
                result.LoadError = error;
            }
            return true;
        }
        case FrameKind::KeysBefore:
            haveBefore = TypeLibRecord::ParseTexts(frame.Bytes, before);
            return haveBefore;
        case FrameKind::Registration: {
            Registration registration;
            if (!TypeLibRecord::Parse(frame.Bytes, registration)) return false;
            registered = true;
            if (registration.How == Registration::Outcome::Captured)
                result.Registered = std::move(registration);
            else
                result.Notes.push_back(OutcomeNote(request.File, registration));
            return true;
        }
        default:
            return true;
        }
    }

    // Whatever registration ran, keys named by the library's identifiers that it left in the
    // machine's registry go, answered or not.
    static void Finish(const ReadRequest& request, ReadResult& result,
                       const std::vector<std::wstring>& before, bool haveBefore) {
        if (!haveBefore || !result.TypeLib) return;
        for (std::wstring& note : ComRegistration::RemoveNewKeys(
                 ComRegistration::IdentifierKeys(*result.TypeLib), before, request.File))
            result.Notes.push_back(std::move(note));
    }

    std::unique_ptr<ChildRun::Child> child_;
    std::string received_;
    std::size_t answered_ = 0;
};

// A request that its process did not answer: what came is kept, the rest is said.
void Blame(const ReadRequest& request, ReadResult& result, const Failure& failure,
           std::uint32_t limitMs) {
    if (!result.TypeLib && !result.LoadError) {
        result.LoadError = ReaderFailure(failure, limitMs);
    } else if (request.CaptureRegistration && result.TypeLib && !result.Registered) {
        result.Notes.insert(result.Notes.begin(),
                            LostRegistrationNote(request.File, failure, limitMs));
    }
}

} // namespace

struct Session::State {
    std::uint32_t LimitMs = kReadLimitMs;
    std::mutex Lock;
    std::condition_variable Changed;
    std::vector<ReadRequest> Requests; // every file handed over, in order
    std::vector<ReadResult> Results;   // as many as are done
    bool Finishing = false, Stopping = false, Done = false;
    ChildRun::Child* Running = nullptr; // the reading process at work, for the stop
    std::thread Worker;

    // The reading process that reads the files, started when the first file needs it (at once
    // for an early start), and again after one that failed.
    std::unique_ptr<ReadingProcess> Process;
    std::wstring Reader;
    bool StaleKeysDeleted = false;

    void Keep(std::unique_ptr<ReadingProcess> process) {
        {
            std::lock_guard<std::mutex> guard(Lock);
            Running = process ? &process->Child() : nullptr;
        }
        Process = std::move(process);
    }

    bool Start(Failure& failure) {
        if (Reader.empty()) {
            const std::wstring program = ModulePath::Of(nullptr);
            if (program.empty()) {
                failure = {Failure::Kind::NotStarted, GetLastError()};
                return false;
            }
            Reader = ReaderProgram(program);
        }
        std::unique_ptr<ReadingProcess> process = ReadingProcess::Start(Reader, failure);
        if (!process) return false;
        Keep(std::move(process));
        return true;
    }

    bool Stopped() {
        std::lock_guard<std::mutex> guard(Lock);
        return Stopping;
    }

    ReadResult ReadOne(std::uint32_t index, const ReadRequest& request) {
        ReadResult result;
        try {
            if (!HasTypeLibResource(request.File)) {
                result.LoadError =
                    AppError(kNoTypeLibNumber, L"Файл не содержит библиотеки типов.");
                return result;
            }
        } catch (const AppError& error) {
            result.LoadError = error;
            return result;
        }
        if (request.CaptureRegistration && !StaleKeysDeleted) {
            ComRegistration::DeleteStaleScratchKeys();
            StaleKeysDeleted = true;
        }
        std::vector<std::wstring> removed; // keys a first try took away are said all the same
        for (int attempt = 0;; ++attempt) {
            result = ReadResult();
            result.Notes = removed;
            Failure failure;
            if (!Process && !Start(failure)) {
                Blame(request, result, failure, LimitMs);
                return result;
            }
            const bool earlierDone = Process->Answered() > 0;
            if (Process->Read(index, request, result, LimitMs, failure)) {
                if (attempt > 0) Keep(nullptr); // the second try was alone
                return result;
            }
            Keep(nullptr);
            // What an earlier file left behind (a thread, a hang) may have ended the process:
            // the file is read once more, alone, before it is blamed. Not when the reading is
            // being stopped: then nothing more starts.
            if (earlierDone && attempt == 0 && !Stopped()) {
                removed = std::move(result.Notes);
                continue;
            }
            Blame(request, result, failure, LimitMs);
            return result;
        }
    }

    void Work() {
        std::unique_lock<std::mutex> guard(Lock);
        for (;;) {
            Changed.wait(guard,
                         [&] { return Stopping || Finishing || Results.size() < Requests.size(); });
            if (Stopping || Results.size() == Requests.size()) break;
            const auto index = static_cast<std::uint32_t>(Results.size());
            const ReadRequest request = Requests[index];
            guard.unlock();
            ReadResult result = ReadOne(index, request);
            guard.lock();
            Results.push_back(std::move(result));
            Changed.notify_all();
        }
        guard.unlock();
        Keep(nullptr);
        guard.lock();
        Done = true;
        Changed.notify_all();
    }
};

Session::Session(std::uint32_t LimitMs, bool StartNow) : state_(std::make_unique<State>()) {
    state_->LimitMs = LimitMs;
    State& s = *state_;
    s.Worker = std::thread([&s, StartNow] {
        if (StartNow) {
            Failure ignored; // a process that cannot start is tried again, and blamed, per file
            s.Start(ignored);
        }
        s.Work();
    });
}

Session::~Session() {
    State& s = *state_;
    {
        std::lock_guard<std::mutex> guard(s.Lock);
        s.Stopping = true;
        // A registration that runs on is not waited for: the process goes, and all it started.
        if (s.Running) s.Running->Stop();
    }
    s.Changed.notify_all();
    if (s.Worker.joinable()) s.Worker.join();
}

void Session::Read(std::vector<ReadRequest> Requests) {
    {
        std::lock_guard<std::mutex> guard(state_->Lock);
        for (ReadRequest& request : Requests) state_->Requests.push_back(std::move(request));
    }
    state_->Changed.notify_all();
}

std::vector<ReadResult> Session::Finish() {
    State& s = *state_;
    {
        std::lock_guard<std::mutex> guard(s.Lock);
        s.Finishing = true;
    }
    s.Changed.notify_all();
    if (s.Worker.joinable()) s.Worker.join();
    return std::move(s.Results);
}

std::vector<ReadResult> ReadFiles(const std::vector<ReadRequest>& Requests, std::uint32_t LimitMs) {
    // In the caller's thread: nothing else goes on meanwhile.
    Session::State reading;
    reading.LimitMs = LimitMs;
    std::vector<ReadResult> results;
    for (std::size_t i = 0; i < Requests.size(); ++i)
        results.push_back(reading.ReadOne(static_cast<std::uint32_t>(i), Requests[i]));
    reading.Keep(nullptr);
    return results;
}

std::shared_ptr<const TypeLibInfo> TypeLibInfoFromFile(const std::wstring& FileName) {
    ReadResult result = std::move(ReadFiles({{FileName, false}}).front());
    if (result.LoadError) throw *result.LoadError;
    return result.TypeLib;
}

} // namespace TypeLibReader
