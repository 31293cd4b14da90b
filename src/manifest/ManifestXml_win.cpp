#include "manifest/ManifestXml.h"

#include "common/LongPath.h"

#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>
#include <shlwapi.h>

#include <string_view>
#include <utility>

namespace ManifestXml {
namespace {

// DOMDocument30: the version named here, not whichever one the system calls the default.
constexpr CLSID kDomDocument30 = {
    0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};

// Apartment for this call only; a caller already in another apartment keeps its own.
class ComApartment {
  public:
    ComApartment() : status_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (status_ == S_OK || status_ == S_FALSE) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    bool Usable() const { return SUCCEEDED(status_) || status_ == RPC_E_CHANGED_MODE; }

  private:
    HRESULT status_;
};

template <class T> class ComRef {
  public:
    ComRef() = default;
    ~ComRef() {
        if (p_) p_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T** Out() { return &p_; }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

  private:
    T* p_ = nullptr;
};

class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(std::wstring_view text)
        : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR Get() const { return b_; }
    BSTR* Out() { return &b_; }
    std::wstring Text() const { return b_ ? std::wstring(b_, SysStringLen(b_)) : std::wstring(); }

  private:
    BSTR b_ = nullptr;
};

class Variant {
  public:
    Variant() { VariantInit(&v_); }
    ~Variant() { VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT& Get() { return v_; }

  private:
    VARIANT v_;
};

// xmlns and xmlns:prefix declare namespaces; they are no part of the identity.
bool IsNamespaceDeclaration(const std::wstring& name) {
    return name == L"xmlns" || name.starts_with(L"xmlns:");
}

bool Read(const std::wstring& FileName, std::vector<std::wstring>& attributes) {
    // The component reads up to the first NUL; such a name would read another file.
    if (FileName.empty() || FileName.find(L'\0') != std::wstring::npos) return false;
    ComApartment apartment;
    if (!apartment.Usable()) return false;

    ComRef<IXMLDOMDocument> document;
    if (FAILED(CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                reinterpret_cast<void**>(document.Out()))) ||
        !document) {
        return false;
    }
    // Synchronous, and nothing fetched from outside the file (DTDs, entities).
    if (FAILED(document->put_async(VARIANT_FALSE)) ||
        FAILED(document->put_preserveWhiteSpace(VARIANT_FALSE)) ||
        FAILED(document->put_resolveExternals(VARIANT_FALSE)) ||
        FAILED(document->put_validateOnParse(VARIANT_TRUE))) {
        return false;
    }

    // The component takes a name for a URL: "#" would cut it, "%xx" might be decoded. A stream
    // on the file itself reads exactly the file the name means.
    ComRef<IStream> stream;
    if (FAILED(SHCreateStreamOnFileEx(LongPath::ForFileApi(FileName).c_str(),
                                      STGM_READ | STGM_SHARE_DENY_NONE, FILE_ATTRIBUTE_NORMAL,
                                      FALSE, nullptr, stream.Out())) ||
        !stream) {
        return false;
    }
    Variant source;
    source.Get().vt = VT_UNKNOWN;
    source.Get().punkVal = stream.Get();
    source.Get().punkVal->AddRef();
    VARIANT_BOOL loaded = VARIANT_FALSE;
    if (FAILED(document->load(source.Get(), &loaded)) || loaded != VARIANT_TRUE) return false;

    ComRef<IXMLDOMNode> identity;
    Bstr identityPath(L"/assembly/assemblyIdentity");
    if (document->selectSingleNode(identityPath.Get(), identity.Out()) != S_OK || !identity) {
        return false;
    }
    ComRef<IXMLDOMNodeList> items;
    Bstr everyAttribute(L"@*");
    if (FAILED(identity->selectNodes(everyAttribute.Get(), items.Out())) || !items) return false;
    long count = 0;
    if (FAILED(items->get_length(&count))) return false;
    for (long i = 0; i < count; ++i) {
        ComRef<IXMLDOMNode> item;
        if (items->get_item(i, item.Out()) != S_OK || !item) return false;
        Bstr itemName;
        if (FAILED(item->get_nodeName(itemName.Out()))) return false;
        if (IsNamespaceDeclaration(itemName.Text())) continue;
        Bstr xml;
        if (FAILED(item->get_xml(xml.Out()))) return false;
        attributes.push_back(xml.Text());
    }
    return true;
}

} // namespace

bool ReadIdentityAttributes(const std::wstring& FileName, std::vector<std::wstring>& Attributes) {
    Attributes.clear();
    std::vector<std::wstring> found;
    if (!Read(FileName, found)) return false;
    Attributes = std::move(found);
    return true;
}

} // namespace ManifestXml
