// The type library of a file through OLE Automation. Nothing is registered: the library is
// loaded with REGKIND_NONE and only read.
#include "manifest/TypeLibReader.h"

#include "support/AppError.h"
#include "support/QZVSP0100A.h"

#include "common/LongPath.h"

#include <windows.h>
#include <oleauto.h>

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

class DataFileModule {
  public:
    explicit DataFileModule(const std::wstring& fileName)
        : module_(LoadLibraryExW(LoaderName(fileName).c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {
        if (!module_) {
            const auto number = static_cast<std::uint32_t>(HRESULT_FROM_WIN32(GetLastError()));
            throw AppError(number, QZVSP0100A::GetAPIErrorDescription(number));
        }
    }
    DataFileModule(const DataFileModule&) = delete;
    DataFileModule& operator=(const DataFileModule&) = delete;
    ~DataFileModule() { FreeLibrary(module_); }
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
        result.GUID = GuidText(TypeAttr(info.get())->guid);
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
        // A library lists a dual interface by its dispatch half, whose base is IDispatch; the
        // vtable half would only repeat the same identifier.
        for (UINT i = 0; i < attr->cImplTypes; ++i) {
            HREFTYPE ref = 0;
            Check(info->GetRefTypeOfImplType(i, &ref));
            ComRef<ITypeInfo> base;
            Check(info->GetRefTypeInfo(ref, base.put()));
            result.ImpliedInterfaces.push_back(GuidText(TypeAttr(base.get())->guid));
        }
        return result;
    }

  private:
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

} // namespace

std::unique_ptr<TypeLibInfo> TypeLibInfoFromFile(const std::wstring& FileName) {
    if (!HasTypeLibResource(FileName))
        throw AppError(kNoTypeLibNumber, L"Файл не содержит библиотеки типов.");
    ComRef<ITypeLib> lib;
    Check(LoadTypeLibEx(LoaderName(FileName).c_str(), REGKIND_NONE, lib.put()));
    if (!lib.get()) ThrowHResult(E_UNEXPECTED);
    return std::make_unique<TypeLibInfoImpl>(FileName, std::move(lib));
}

} // namespace TypeLibReader
