// The type library of a file through OLE Automation. Nothing is registered: the library is
// loaded with REGKIND_NONE and only read, in a child process of the program, since the
// platform's reader can crash on a broken library.
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
#include <oleauto.h>

#include <shellapi.h>

#include <cstdio>
#include <algorithm>
#include <cwchar>
#include <cwctype>
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

// The platform's module and type-library loaders stop at the old 260-character limit (Wine's do
// even for the long form), so a long name is handed to them in its short form, where the volume
// keeps short names, and in the long form otherwise.
std::wstring LoaderName(const std::wstring& fileName) {
    const std::wstring longName = LongPath::ForFileApi(fileName);
    if (longName == fileName) return fileName;
    DWORD size = GetShortPathNameW(longName.c_str(), nullptr, 0);
    if (size != 0) {
        std::wstring shortName(size, L'\0');
        size = GetShortPathNameW(longName.c_str(), shortName.data(), size);
        if (size != 0 && size < shortName.size()) {
            shortName.resize(size);
            if (shortName.rfind(L"\\\\?\\UNC\\", 0) == 0) {
                shortName = L"\\\\" + shortName.substr(8);
            } else if (shortName.rfind(L"\\\\?\\", 0) == 0) {
                shortName = shortName.substr(4);
            }
            if (shortName.size() < MAX_PATH) return shortName;
        }
    }
    return longName;
}

// Errors of a file that exists but is no module, such as a bare .tlb file.
bool IsNoModuleError(DWORD error) {
    return error == ERROR_BAD_EXE_FORMAT || error == ERROR_INVALID_EXE_SIGNATURE ||
           error == ERROR_EXE_MARKED_INVALID || error == ERROR_BAD_FORMAT;
}

class DataFileModule {
  public:
    // A file that is no module is left unopened (get() is null): it has no resources at all.
    explicit DataFileModule(const std::wstring& fileName)
        : module_(LoadLibraryExW(LoaderName(fileName).c_str(), nullptr,
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
    std::wstring result(text);
    for (auto& c : result) c = static_cast<wchar_t>(std::towupper(c));
    return result;
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
// A library of many thousand types reads in seconds; a reader still busy after this hangs.
constexpr DWORD kReaderTimeoutMs = 30000;

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
        Check(LoadTypeLibEx(LoaderName(fileName).c_str(), REGKIND_NONE, loaded.put()));
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

// Why the child gave no record, for the type-library message.
AppError ReaderFailure(const ChildRun::Result& run) {
    constexpr std::uint32_t kTimeoutNumber = 0x800705B4u; // HRESULT of ERROR_TIMEOUT
    switch (run.How) {
    case ChildRun::Ending::NotStarted: {
        const auto number = static_cast<std::uint32_t>(HRESULT_FROM_WIN32(run.LastError));
        return AppError(number, QZVSP0100A::GetAPIErrorDescription(number));
    }
    case ChildRun::Ending::TimedOut:
        return AppError(kTimeoutNumber, L"Чтение библиотеки типов не завершилось за " +
                                            std::to_wstring(kReaderTimeoutMs / 1000) +
                                            L" секунд и было остановлено.");
    case ChildRun::Ending::Exited:
        break;
    }
    // Exception codes carry the error severity bits; plain exit codes do not.
    if (run.ExitCode >= 0x80000000u)
        return AppError(run.ExitCode, L"Чтение библиотеки типов прервано исключением " +
                                          HexCode(run.ExitCode) + L".");
    return AppError(kAppErrorNumber, L"Чтение библиотеки типов завершилось с кодом " +
                                         HexCode(run.ExitCode) + L" и не вернуло результата.");
}

// Why a registration gave nothing, for the note: the type library's data stands instead.
std::wstring RegistrationNote(const std::wstring& file, const std::wstring& what) {
    return L"Регистрация компонента \"" + file + L"\" " + what +
           L"; использованы данные его библиотеки типов.";
}

std::wstring LostRegistrationNote(const std::wstring& file, const ChildRun::Result& run) {
    if (run.How == ChildRun::Ending::TimedOut)
        return RegistrationNote(file, L"не завершилась за " +
                                          std::to_wstring(kReaderTimeoutMs / 1000) +
                                          L" секунд и была остановлена");
    if (run.ExitCode >= 0x80000000u)
        return RegistrationNote(file, L"прервана исключением " + HexCode(run.ExitCode));
    return RegistrationNote(file, L"завершилась с кодом " + HexCode(run.ExitCode));
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

constexpr wchar_t kTypeLibOnly[] = L"T:";
constexpr wchar_t kWithRegistration[] = L"R:";

// One reading process over the requests named by indices; fills their results as far as it
// got and gives how many of them it finished.
std::size_t ReadInOneProcess(const std::vector<ReadRequest>& requests,
                             const std::vector<std::size_t>& indices,
                             std::vector<ReadResult>& results, const std::wstring& program) {
    const bool capture = std::any_of(indices.begin(), indices.end(), [&](std::size_t i) {
        return requests[i].CaptureRegistration;
    });
    const std::wstring scratch = capture ? ComRegistration::NewScratchKey() : L"-";
    const ChildRun::Result run = ChildRun::Run(
        [&](std::uintptr_t output) {
            std::wstring line = L"\"" + program + L"\" " + kReaderArgument + L" " +
                                std::to_wstring(output) + L" \"" + scratch + L"\"";
            for (std::size_t i : indices) {
                line += L" \"" +
                        std::wstring(requests[i].CaptureRegistration ? kWithRegistration
                                                                     : kTypeLibOnly) +
                        requests[i].File + L"\"";
            }
            return line;
        },
        kReaderTimeoutMs);
    if (capture) ComRegistration::DeleteScratchKey(scratch);
    if (run.How == ChildRun::Ending::NotStarted) {
        for (std::size_t i : indices) results[i].LoadError = ReaderFailure(run);
        return indices.size();
    }
    const std::vector<TypeLibRecord::Frame> frames = TypeLibRecord::ParseFrames(run.Output);
    std::size_t f = 0, done = 0;
    auto next = [&](TypeLibRecord::FrameKind kind) -> const std::string* {
        if (f >= frames.size() || frames[f].Kind != kind) return nullptr;
        return &frames[f++].Bytes;
    };
    for (; done < indices.size(); ++done) {
        const ReadRequest& request = requests[indices[done]];
        ReadResult& result = results[indices[done]];
        const std::string* bytes = next(TypeLibRecord::FrameKind::TypeLib);
        TypeLibRecord::Record record;
        if (!bytes) {
            // This file's own library ended the process: it is the one that failed.
            result.LoadError = ReaderFailure(run);
            return done + 1;
        }
        if (!TypeLibRecord::Parse(*bytes, record)) {
            result.LoadError =
                AppError(kAppErrorNumber, L"Чтение библиотеки типов вернуло неполные данные.");
            continue;
        }
        try {
            result.TypeLib = TypeLibRecord::InfoFromRecord(request.File, std::move(record));
        } catch (const AppError& error) {
            result.LoadError = error;
            continue;
        }
        if (!request.CaptureRegistration) continue;
        std::vector<std::wstring> before;
        const std::string* keys = next(TypeLibRecord::FrameKind::KeysBefore);
        const bool haveBefore = keys && TypeLibRecord::ParseTexts(*keys, before);
        Registration registration;
        const std::string* registered = next(TypeLibRecord::FrameKind::Registration);
        const bool finished = registered && TypeLibRecord::Parse(*registered, registration);
        if (!finished) {
            result.Notes.push_back(LostRegistrationNote(request.File, run));
        } else if (registration.How == Registration::Outcome::Captured) {
            result.Registered = std::move(registration);
        } else {
            result.Notes.push_back(OutcomeNote(request.File, registration));
        }
        if (haveBefore) {
            for (std::wstring& note : ComRegistration::RemoveNewKeys(
                     ComRegistration::IdentifierKeys(*result.TypeLib), before, request.File))
                result.Notes.push_back(std::move(note));
        }
        if (!finished) return done + 1; // the process ended in this registration
    }
    return done;
}

} // namespace

std::vector<ReadResult> ReadFiles(const std::vector<ReadRequest>& Requests) {
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
    while (!pending.empty()) {
        const std::size_t done = ReadInOneProcess(Requests, pending, results, program);
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(done));
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

} // namespace

bool RunIfAsked(int& ExitCode) {
    // Every link starts here: a command line without the argument is not worth splitting.
    if (!std::wcsstr(GetCommandLineW(), TypeLibReader::kReaderArgument)) return false;
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args) return false;
    std::vector<std::wstring> arguments(args, args + count);
    LocalFree(args);
    if (count < 5 || arguments[1] != TypeLibReader::kReaderArgument) return false;
    // Only the parent can make the named handle this process's standard output and a pipe.
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (arguments[2] != std::to_wstring(reinterpret_cast<std::uintptr_t>(output)) ||
        GetFileType(output) != FILE_TYPE_PIPE)
        return false;

    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(TypeLibReader::EndWithExceptionCode);
    // Each frame goes out whole as soon as it is ready: a registration that crashes or hangs
    // loses nothing read before it.
    auto send = [&](TypeLibRecord::FrameKind kind, const std::string& bytes) {
        return WriteAll(output, TypeLibRecord::FrameBytes(kind, bytes));
    };
    using TypeLibRecord::FrameKind;
    ExitCode = 2; // until every frame has gone out
    try {
        for (std::size_t i = 4; i < arguments.size(); ++i) {
            const bool capture = arguments[i].rfind(TypeLibReader::kWithRegistration, 0) == 0;
            const std::wstring file = arguments[i].substr(2);
            TypeLibRecord::Record record = TypeLibReader::ReadRecord(file);
            if (!send(FrameKind::TypeLib, TypeLibRecord::Serialize(record))) return true;
            if (!capture || record.LoadError) continue;
            const auto keys = ComRegistration::IdentifierKeys(
                *TypeLibRecord::InfoFromRecord(file, std::move(record)));
            if (!send(FrameKind::KeysBefore,
                      TypeLibRecord::SerializeTexts(ComRegistration::ExistingKeys(keys))))
                return true;
            const std::wstring scratch = arguments[3] + L"\\" + std::to_wstring(i);
            if (!send(FrameKind::Registration,
                      TypeLibRecord::Serialize(ComRegistration::Capture(file, scratch))))
                return true;
        }
        ExitCode = 0;
    } catch (...) {
        ExitCode = 1; // the parent reports a reader that gave no result
    }
    return true;
}

} // namespace TypeLibReaderChild
