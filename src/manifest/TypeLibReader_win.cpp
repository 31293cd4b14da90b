// The type library of a file through OLE Automation. Nothing is registered: the library is
// loaded with REGKIND_NONE and only read, in a child process of the program, since the
// platform's reader can crash on a broken library.
#include "manifest/TypeLibReader.h"

#include "manifest/ComRegistration.h"
#include "manifest/modCommon.h"
#include "manifest/TypeLibReaderChild.h"
#include "manifest/TypeLibRecord.h"
#include "process/ChildRun.h"

#include "support/AppError.h"
#include "support/QZVSP0100A.h"

#include "common/LongPath.h"
#include "common/ModulePath.h"

#include <windows.h>
#include <oleauto.h>

#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <optional>
#include <utility>
#include <vector>

namespace TypeLibReader {
namespace {

[[noreturn]] void ThrowHResult(HRESULT hr) {
    const auto number = static_cast<std::uint32_t>(hr);
    throw AppError(number, QZVSP0100A::GetAPIErrorDescription(number));
}

void Check(HRESULT hr) {
    if (FAILED(hr)) ThrowHResult(hr);
}

// Owns one reference of a COM interface.
template <class T> class ComRef {
  public:
    ComRef() = default;
    ComRef(ComRef&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ComRef& operator=(ComRef&&) = delete;
    ~ComRef() {
        if (p_) p_->Release();
    }
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    T** put() { return &p_; }

  private:
    T* p_ = nullptr;
};

class Bstr {
  public:
    Bstr() = default;
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { SysFreeString(s_); }
    BSTR* put() { return &s_; }
    std::wstring str() const { return s_ ? std::wstring(s_, SysStringLen(s_)) : std::wstring(); }

  private:
    BSTR s_ = nullptr;
};

// A type's attributes, handed back to the type that lent them.
class TypeAttr {
  public:
    explicit TypeAttr(ITypeInfo* info) : info_(info) { Check(info_->GetTypeAttr(&attr_)); }
    TypeAttr(const TypeAttr&) = delete;
    TypeAttr& operator=(const TypeAttr&) = delete;
    ~TypeAttr() { info_->ReleaseTypeAttr(attr_); }
    const TYPEATTR* operator->() const { return attr_; }

  private:
    ITypeInfo* info_;
    TYPEATTR* attr_ = nullptr;
};

class LibAttr {
  public:
    explicit LibAttr(ITypeLib* lib) : lib_(lib) { Check(lib_->GetLibAttr(&attr_)); }
    LibAttr(const LibAttr&) = delete;
    LibAttr& operator=(const LibAttr&) = delete;
    ~LibAttr() { lib_->ReleaseTLibAttr(attr_); }
    const TLIBATTR* operator->() const { return attr_; }

  private:
    ITypeLib* lib_;
    TLIBATTR* attr_ = nullptr;
};

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

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    if (StringFromGUID2(guid, text, 40) == 0) ThrowHResult(E_UNEXPECTED);
    return modCommon::Upper(text);
}

std::wstring TypeName(ITypeInfo* info) {
    Bstr name;
    Check(info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr));
    return name.str();
}

class TypeLibInfoImpl final : public TypeLibInfo {
  public:
    TypeLibInfoImpl(std::wstring fileName, ComRef<ITypeLib> lib)
        : fileName_(std::move(fileName)), lib_(std::move(lib)) {
        // One pass over the kinds, which needs no type to be loaded.
        const UINT count = lib_->GetTypeInfoCount();
        for (UINT i = 0; i < count; ++i) {
            TYPEKIND kind = TKIND_MAX;
            Check(lib_->GetTypeInfoType(i, &kind));
            if (kind == TKIND_COCLASS)
                coClasses_.push_back(i);
            else if (kind == TKIND_INTERFACE || kind == TKIND_DISPATCH)
                interfaces_.push_back(i);
        }
    }

    std::wstring ContainingFile() const override { return fileName_; }

    std::wstring Name() const override {
        Bstr name;
        Check(lib_->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr));
        return name.str();
    }

    std::wstring GUID() const override { return GuidText(LibAttr(lib_.get())->guid); }
    std::uint16_t MajorVersion() const override { return LibAttr(lib_.get())->wMajorVerNum; }
    std::uint16_t MinorVersion() const override { return LibAttr(lib_.get())->wMinorVerNum; }

    std::size_t CoClassCount() const override { return coClasses_.size(); }

    CoClassInfo CoClass(std::size_t index) const override {
        ComRef<ITypeInfo> info;
        Check(lib_->GetTypeInfo(LibraryIndex(coClasses_, index), info.put()));
        CoClassInfo result;
        result.Name = TypeName(info.get());
        TypeAttr attr(info.get());
        result.GUID = GuidText(attr->guid);
        result.IsControl = (attr->wTypeFlags & TYPEFLAG_FCONTROL) != 0;
        result.CanCreate = (attr->wTypeFlags & TYPEFLAG_FCANCREATE) != 0;
        return result;
    }

    std::size_t InterfaceCount() const override { return interfaces_.size(); }

    InterfaceInfo Interface(std::size_t index) const override {
        ComRef<ITypeInfo> info;
        Check(lib_->GetTypeInfo(LibraryIndex(interfaces_, index), info.put()));
        InterfaceInfo result;
        result.Name = TypeName(info.get());
        TypeAttr attr(info.get());
        result.GUID = GuidText(attr->guid);
        if (attr->typekind == TKIND_DISPATCH)
            result.Kind = (attr->wTypeFlags & TYPEFLAG_FDUAL) ? InterfaceKind::Dual
                                                              : InterfaceKind::DispatchOnly;
        else
            result.Kind = InterfaceKind::Custom;
        if (result.Kind == InterfaceKind::Dual) {
            // A library lists a dual interface by its dispatch half, whose base is always
            // IDispatch; the real base is the first one of the vtable half.
            ComRef<ITypeInfo> vtable = RefType(info.get(), static_cast<UINT>(-1));
            if (TypeAttr(vtable.get())->cImplTypes > 0)
                result.ImpliedInterfaces.push_back(BaseGuid(vtable.get(), 0));
        } else {
            for (UINT i = 0; i < attr->cImplTypes; ++i)
                result.ImpliedInterfaces.push_back(BaseGuid(info.get(), i));
        }
        return result;
    }

  private:
    static ComRef<ITypeInfo> RefType(ITypeInfo* info, UINT implIndex) {
        HREFTYPE ref = 0;
        Check(info->GetRefTypeOfImplType(implIndex, &ref));
        ComRef<ITypeInfo> base;
        Check(info->GetRefTypeInfo(ref, base.put()));
        return base;
    }
    static std::wstring BaseGuid(ITypeInfo* info, UINT implIndex) {
        return GuidText(TypeAttr(RefType(info, implIndex).get())->guid);
    }

    static UINT LibraryIndex(const std::vector<UINT>& indices, std::size_t index) {
        if (index >= indices.size())
            throw AppError(kInvalidArgumentNumber,
                           L"Недопустимый вызов процедуры или недопустимый аргумент.");
        return indices[index];
    }

    std::wstring fileName_;
    ComRef<ITypeLib> lib_;
    std::vector<UINT> coClasses_;
    std::vector<UINT> interfaces_;
};

constexpr wchar_t kReaderArgument[] = L"--vexmor-type-library-reader";

template <class T, class Read> TypeLibRecord::Fallible<T> Attempt(Read read) {
    TypeLibRecord::Fallible<T> item;
    try {
        item.Value = read();
    } catch (const AppError& error) {
        item.Error = {error.Number, error.Description};
    }
    return item;
}

// What the reader child hands back: every member read in-process, each with its own error.
TypeLibRecord::Record ReadRecord(const std::wstring& fileName) {
    TypeLibRecord::Record record;
    std::unique_ptr<TypeLibInfoImpl> lib;
    try {
        ComRef<ITypeLib> loaded;
        Check(LoadTypeLibEx(LongPath::ForLoader(fileName).c_str(), REGKIND_NONE, loaded.put()));
        if (!loaded.get()) ThrowHResult(E_UNEXPECTED);
        lib = std::make_unique<TypeLibInfoImpl>(fileName, std::move(loaded));
    } catch (const AppError& error) {
        record.LoadError = TypeLibRecord::Failure{error.Number, error.Description};
        return record;
    }
    record.Name = Attempt<std::wstring>([&] { return lib->Name(); });
    record.GUID = Attempt<std::wstring>([&] { return lib->GUID(); });
    record.MajorVersion = Attempt<std::uint16_t>([&] { return lib->MajorVersion(); });
    record.MinorVersion = Attempt<std::uint16_t>([&] { return lib->MinorVersion(); });
    for (std::size_t i = 0; i < lib->CoClassCount(); ++i)
        record.CoClasses.push_back(Attempt<CoClassInfo>([&] { return lib->CoClass(i); }));
    for (std::size_t i = 0; i < lib->InterfaceCount(); ++i)
        record.Interfaces.push_back(Attempt<InterfaceInfo>([&] { return lib->Interface(i); }));
    return record;
}

// The child must end at once on a crash, with the exception's code as its exit code: the
// platform would otherwise hold it open in a crash dialog.
LONG WINAPI EndWithExceptionCode(EXCEPTION_POINTERS* exception) {
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
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
                return L"\"" + program + L"\" " + kReaderArgument + L" " +
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

std::vector<ReadResult> ReadFiles(const std::vector<ReadRequest>& Requests, std::uint32_t LimitMs) {
    std::vector<ReadResult> results(Requests.size());
    std::vector<std::size_t> pending;
    for (std::size_t i = 0; i < Requests.size(); ++i) {
        try {
            if (HasTypeLibResource(Requests[i].File)) {
                pending.push_back(i);
            } else {
                results[i].LoadError =
                    AppError(kNoTypeLibNumber, L"Файл не содержит библиотеки типов.");
            }
        } catch (const AppError& error) {
            results[i].LoadError = error;
        }
    }
    if (pending.empty()) return results;
    const std::wstring program = ModulePath::Of(nullptr);
    if (program.empty()) {
        const auto number = static_cast<std::uint32_t>(HRESULT_FROM_WIN32(GetLastError()));
        for (std::size_t i : pending)
            results[i].LoadError = AppError(number, QZVSP0100A::GetAPIErrorDescription(number));
        return results;
    }
    if (std::any_of(pending.begin(), pending.end(),
                    [&](std::size_t i) { return Requests[i].CaptureRegistration; }))
        ComRegistration::DeleteStaleScratchKeys();
    std::unique_ptr<ReadingProcess> process;
    for (std::size_t i : pending) {
        std::vector<std::wstring> removed; // keys a first try took away are said all the same
        for (int attempt = 0;; ++attempt) {
            ReadResult result;
            result.Notes = removed;
            Failure failure;
            if (!process) process = ReadingProcess::Start(program, failure);
            if (!process) {
                Blame(Requests[i], result, failure, LimitMs);
                results[i] = std::move(result);
                break;
            }
            const bool earlierDone = process->Answered() > 0;
            if (process->Read(static_cast<std::uint32_t>(i), Requests[i], result, LimitMs,
                              failure)) {
                results[i] = std::move(result);
                if (attempt > 0) process.reset(); // the second try was alone
                break;
            }
            process.reset();
            // What an earlier file left behind (a thread, a hang) may have ended the process:
            // the file is read once more, alone, before it is blamed.
            if (earlierDone && attempt == 0) {
                removed = std::move(result.Notes);
                continue;
            }
            Blame(Requests[i], result, failure, LimitMs);
            results[i] = std::move(result);
            break;
        }
    }
    return results;
}

std::shared_ptr<const TypeLibInfo> TypeLibInfoFromFile(const std::wstring& FileName) {
    ReadResult result = std::move(ReadFiles({{FileName, false}}).front());
    if (result.LoadError) throw *result.LoadError;
    return result.TypeLib;
}

} // namespace TypeLibReader

namespace TypeLibReaderChild {
namespace {

using TypeLibRecord::FrameKind;

bool WriteAll(HANDLE output, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        if (!WriteFile(output, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

// The next request, or none when the parent closed its end.
std::optional<TypeLibRecord::Frame> NextRequest(HANDLE pipe, std::string& received) {
    for (;;) {
        std::vector<TypeLibRecord::Frame> frames = TypeLibRecord::TakeFrames(received);
        if (!frames.empty()) {
            // One request at a time: the parent sends the next one only after this one's answer.
            if (frames.size() > 1) return std::nullopt;
            return std::move(frames.front());
        }
        char chunk[65536];
        DWORD got = 0;
        if (!ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) || got == 0) return std::nullopt;
        received.append(chunk, got);
    }
}

DWORD WINAPI EndWithParent(void* parent) {
    WaitForSingleObject(static_cast<HANDLE>(parent), INFINITE);
    TerminateProcess(GetCurrentProcess(), ChildRun::kEndedCode);
    return 0;
}

} // namespace

bool RunIfAsked(int& ExitCode) {
    // Every link starts here: a command line without the argument is not worth splitting.
    if (!std::wcsstr(GetCommandLineW(), TypeLibReader::kReaderArgument)) return false;
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args) return false;
    std::vector<std::wstring> arguments(args, args + count);
    LocalFree(args);
    if (count < 2 || arguments[1] != TypeLibReader::kReaderArgument) return false;
    // Never a link: a reading process started wrongly ends at once.
    ExitCode = 3;
    if (count != 4) return true;
    auto handle = [](const std::wstring& text) {
        return reinterpret_cast<HANDLE>(
            static_cast<std::uintptr_t>(std::wcstoull(text.c_str(), nullptr, 10)));
    };
    HANDLE pipe = handle(arguments[2]), parent = handle(arguments[3]);
    // Only the program itself can hand this process a pipe and a process under these values.
    if (GetFileType(pipe) != FILE_TYPE_PIPE || GetProcessId(parent) == 0) return true;
    // Nothing that registration code starts may hold them: the build would wait for it.
    SetHandleInformation(pipe, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(parent, HANDLE_FLAG_INHERIT, 0);
    // Where no job holds this process, it goes when the program goes.
    if (HANDLE watch = CreateThread(nullptr, 0, EndWithParent, parent, 0, nullptr))
        CloseHandle(watch);

    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(TypeLibReader::EndWithExceptionCode);
    FILETIME created{}, exited{}, kernel{}, user{};
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const std::wstring scratch = ComRegistration::ScratchKey(
        GetCurrentProcessId(),
        (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime);
    // Each frame goes out whole as soon as it is ready: a registration that crashes or hangs
    // loses nothing read before it.
    ExitCode = 2; // a request that could not be answered
    std::string received;
    try {
        while (auto request = NextRequest(pipe, received)) {
            const std::uint32_t index = request->Request;
            std::vector<std::wstring> names;
            if ((request->Kind != FrameKind::ReadTypeLib &&
                 request->Kind != FrameKind::ReadAndRegister) ||
                !TypeLibRecord::ParseTexts(request->Bytes, names) || names.size() != 1)
                return true;
            const std::wstring& file = names.front();
            auto send = [&](FrameKind kind, const std::string& bytes) {
                return WriteAll(pipe, TypeLibRecord::FrameBytes(kind, index, bytes));
            };
            TypeLibRecord::Record record = TypeLibReader::ReadRecord(file);
            const bool capture = request->Kind == FrameKind::ReadAndRegister && !record.LoadError;
            if (!send(FrameKind::TypeLib, TypeLibRecord::Serialize(record))) return true;
            if (capture) {
                const auto keys = ComRegistration::IdentifierKeys(
                    *TypeLibRecord::InfoFromRecord(file, std::move(record)));
                if (!send(FrameKind::KeysBefore,
                          TypeLibRecord::SerializeTexts(ComRegistration::ExistingKeys(keys))) ||
                    !send(FrameKind::Registration,
                          TypeLibRecord::Serialize(ComRegistration::Capture(
                              file, scratch + L"\\" + std::to_wstring(index)))))
                    return true;
            }
            if (!send(FrameKind::Done, std::string())) return true;
        }
        ExitCode = 0; // the parent has no more requests
    } catch (...) {
        ExitCode = 1; // the parent reports a reader that gave no result
    }
    return true;
}

} // namespace TypeLibReaderChild
