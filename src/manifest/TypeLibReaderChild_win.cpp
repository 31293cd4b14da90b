// The reading process: reads type libraries and captures components' registration for the program
// that started it, one request at a time over the pipe the program gave it. It imports none of the
// program's window machinery nor its support libraries: a failure goes back as its number, which
// the program describes.
#include "manifest/TypeLibReaderChild.h"

#include "manifest/ComRegistration.h"
#include "manifest/TypeLibReader.h"
#include "manifest/TypeLibRecord.h"
#include "manifest/modCommon.h"
#include "process/ChildRun.h"
#include "support/AppError.h"

#include "common/LongPath.h"

#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cwchar>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace TypeLibReaderChild {
namespace {

using TypeLibReader::CoClassInfo;
using TypeLibReader::InterfaceInfo;
using TypeLibReader::InterfaceKind;
using TypeLibReader::TypeLibInfo;
using TypeLibRecord::FrameKind;

// Described by the program, which has the support library for it.
[[noreturn]] void ThrowHResult(HRESULT hr) {
    throw AppError(static_cast<std::uint32_t>(hr), std::wstring());
}

void Check(HRESULT hr) {
    if (FAILED(hr)) ThrowHResult(hr);
}

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

// The process must end at once on a crash, with the exception's code as its exit code: the
// platform would otherwise hold it open in a crash dialog.
LONG WINAPI EndWithExceptionCode(EXCEPTION_POINTERS* exception) {
    TerminateProcess(GetCurrentProcess(), exception->ExceptionRecord->ExceptionCode);
    return EXCEPTION_EXECUTE_HANDLER;
}

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
    // Every link starts here: a command line without the argument is not worth parsing.
    const std::wstring line = GetCommandLineW();
    std::size_t at = line.find(kArgument);
    if (at == std::wstring::npos) return false;
    // "<program>" --vexmor-type-library-reader <pipe> <parent>: the argument right after the
    // program's name, as the program writes it.
    std::size_t program = line.empty() || line[0] != L'"' ? line.find(L' ') : line.find(L'"', 1);
    if (program == std::wstring::npos) return false;
    program = line.find_first_not_of(L' ', program + (line[0] == L'"' ? 1 : 0));
    if (program != at) return false;
    // Never a link: a reading process started wrongly ends at once.
    ExitCode = 3;
    std::uintptr_t values[2] = {};
    const wchar_t* next = line.c_str() + at + std::wcslen(kArgument);
    for (std::uintptr_t& value : values) {
        wchar_t* end = nullptr;
        if (*next != L' ') return true;
        value = static_cast<std::uintptr_t>(std::wcstoull(next, &end, 10));
        if (end == next) return true;
        next = end;
    }
    if (*next != L'\0') return true;
    HANDLE pipe = reinterpret_cast<HANDLE>(values[0]), parent = reinterpret_cast<HANDLE>(values[1]);
    // Only the program itself can hand this process a pipe and a process under these values.
    if (GetFileType(pipe) != FILE_TYPE_PIPE || GetProcessId(parent) == 0) return true;
    // Nothing that registration code starts may hold them: the build would wait for it.
    SetHandleInformation(pipe, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(parent, HANDLE_FLAG_INHERIT, 0);
    // Where no job holds this process, it goes when the program goes.
    if (HANDLE watch = CreateThread(nullptr, 0, EndWithParent, parent, 0, nullptr))
        CloseHandle(watch);

    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(EndWithExceptionCode);
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
            TypeLibRecord::Record record = ReadRecord(file);
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
