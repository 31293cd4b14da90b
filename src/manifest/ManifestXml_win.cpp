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

// A document object set up as every read here wants it: synchronous, and nothing fetched from
// outside the text (DTDs, entities).
bool NewDocument(ComRef<IXMLDOMDocument>& document) {
    return SUCCEEDED(CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IXMLDOMDocument,
                                      reinterpret_cast<void**>(document.Out()))) &&
           document && SUCCEEDED(document->put_async(VARIANT_FALSE)) &&
           SUCCEEDED(document->put_preserveWhiteSpace(VARIANT_FALSE)) &&
           SUCCEEDED(document->put_resolveExternals(VARIANT_FALSE)) &&
           SUCCEEDED(document->put_validateOnParse(VARIANT_TRUE));
}

// Loads the stream; S_OK when the document is well-formed.
HRESULT Load(IXMLDOMDocument* document, IStream* stream) {
    Variant source;
    source.Get().vt = VT_UNKNOWN;
    source.Get().punkVal = stream;
    stream->AddRef();
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const HRESULT status = document->load(source.Get(), &loaded);
    if (FAILED(status)) return status;
    return loaded == VARIANT_TRUE ? S_OK : S_FALSE;
}

bool Read(const std::wstring& FileName, std::vector<Attribute>& attributes) {
    // The component reads up to the first NUL; such a name would read another file.
    if (FileName.empty() || FileName.find(L'\0') != std::wstring::npos) return false;
    ComApartment apartment;
    if (!apartment.Usable()) return false;
    ComRef<IXMLDOMDocument> document;
    if (!NewDocument(document)) return false;

    // The component takes a name for a URL: "#" would cut it, "%xx" might be decoded. A stream
    // on the file itself reads exactly the file the name means.
    ComRef<IStream> stream;
    if (FAILED(SHCreateStreamOnFileEx(LongPath::ForFileApi(FileName).c_str(),
                                      STGM_READ | STGM_SHARE_DENY_NONE, FILE_ATTRIBUTE_NORMAL,
                                      FALSE, nullptr, stream.Out())) ||
        !stream) {
        return false;
    }
    if (Load(document.Get(), stream.Get()) != S_OK) return false;

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
        Bstr name;
        if (FAILED(item->get_nodeName(name.Out()))) return false;
        if (IsNamespaceDeclaration(name.Text())) continue;
        // The text of an attribute node is its value with every reference expanded.
        Bstr value;
        if (FAILED(item->get_text(value.Out()))) return false;
        attributes.push_back({name.Text(), value.Text()});
    }
    return true;
}

std::wstring ParseErrorText(IXMLDOMDocument* document) {
    ComRef<IXMLDOMParseError> error;
    if (FAILED(document->get_parseError(error.Out())) || !error) return std::wstring();
    Bstr reason;
    long line = 0, position = 0;
    error->get_reason(reason.Out());
    error->get_line(&line);
    error->get_linepos(&position);
    std::wstring text = reason.Text();
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    if (line > 0) {
        text +=
            L" (строка " + std::to_wstring(line) + L", позиция " + std::to_wstring(position) + L")";
    }
    return text;
}

} // namespace

bool ReadIdentityAttributes(const std::wstring& FileName, std::vector<Attribute>& Attributes) {
    Attributes.clear();
    std::vector<Attribute> found;
    if (!Read(FileName, found)) return false;
    Attributes = std::move(found);
    return true;
}

bool CheckDocument(const std::string& Bytes, std::wstring& Reason) {
    Reason.clear();
    const std::wstring refused = L"Текст манифеста не является правильным документом XML";
    ComApartment apartment;
    ComRef<IXMLDOMDocument> document;
    if (!apartment.Usable() || !NewDocument(document)) {
        Reason = L"Не удалось создать компонент XML для проверки манифеста.";
        return false;
    }
    ComRef<IStream> stream;
    *stream.Out() = SHCreateMemStream(reinterpret_cast<const BYTE*>(Bytes.data()),
                                      static_cast<UINT>(Bytes.size()));
    if (!stream) {
        Reason = refused + L".";
        return false;
    }
    if (Load(document.Get(), stream.Get()) == S_OK) return true;
    const std::wstring why = ParseErrorText(document.Get());
    Reason = refused + (why.empty() ? L"." : L": " + why);
    return false;
}

} // namespace ManifestXml
