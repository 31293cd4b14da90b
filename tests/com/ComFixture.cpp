// ComFixture.dll: a real in-process COM server for the fixture library, apartment-threaded.
// Nothing is registered; its clients find it through manifests. IDispatch runs on the type
// library carried by this very file, loaded without registration.
#include "ComFixtureIds.h"
#include "ComServer.h"

#include <windows.h>
#include <oleauto.h>

#include <new>

namespace {

HMODULE g_module = nullptr;

template <class T> void ReleaseAndClear(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// The vtable description of an interface, from the library in this module's file. For a dual
// interface the library lists the dispatch half; Invoke works on the vtable half behind it.
HRESULT LoadInterfaceType(const GUID& iid, ITypeInfo** result) {
    *result = nullptr;
    wchar_t path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return E_FAIL;
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &lib);
    if (FAILED(hr)) return hr;
    ITypeInfo* info = nullptr;
    hr = lib->GetTypeInfoOfGuid(iid, &info);
    ReleaseAndClear(lib);
    if (FAILED(hr)) return hr;
    TYPEATTR* attr = nullptr;
    hr = info->GetTypeAttr(&attr);
    if (FAILED(hr)) {
        ReleaseAndClear(info);
        return hr;
    }
    bool dual = attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL);
    info->ReleaseTypeAttr(attr);
    if (!dual) {
        *result = info;
        return S_OK;
    }
    HREFTYPE ref = 0;
    ITypeInfo* vtable = nullptr;
    hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
    if (SUCCEEDED(hr)) hr = info->GetRefTypeInfo(ref, &vtable);
    ReleaseAndClear(info);
    if (FAILED(hr)) return hr;
    *result = vtable;
    return S_OK;
}

class Calculator final : public fixture::IVexCalculator {
  public:
    Calculator() { InterlockedIncrement(&fixture::g_locks); }
    Calculator(const Calculator&) = delete;
    Calculator& operator=(const Calculator&) = delete;

    HRESULT Init() { return LoadInterfaceType(fixture::IID_IVexCalculator, &type_); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == fixture::IID_IVexCalculator) {
            *out = static_cast<fixture::IVexCalculator*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&refs_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        type_->AddRef();
        *info = type_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        return DispGetIDsOfNames(type_, names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception,
                                     UINT* argError) override {
        return DispInvoke(static_cast<fixture::IVexCalculator*>(this), type_, id, flags, params,
                          result, exception, argError);
    }

    HRESULT STDMETHODCALLTYPE Add(LONG a, LONG b, LONG* sum) override {
        if (!sum) return E_POINTER;
        *sum = a + b;
        return S_OK;
    }

  private:
    ~Calculator() {
        ReleaseAndClear(type_);
        InterlockedDecrement(&fixture::g_locks);
    }

    LONG refs_ = 1;
    ITypeInfo* type_ = nullptr;
};

class Doubler final : public fixture::IVexDoubler {
  public:
    Doubler() { InterlockedIncrement(&fixture::g_locks); }
    Doubler(const Doubler&) = delete;
    Doubler& operator=(const Doubler&) = delete;

    HRESULT Init() { return S_OK; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == fixture::IID_IVexDoubler) {
            *out = static_cast<fixture::IVexDoubler*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&refs_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE Twice(LONG a, LONG* r) override {
        if (!r) return E_POINTER;
        *r = 2 * a;
        return S_OK;
    }

  private:
    ~Doubler() { InterlockedDecrement(&fixture::g_locks); }

    LONG refs_ = 1;
};

fixture::Factory<Calculator> g_calculatorFactory;
fixture::Factory<Doubler> g_doublerFactory;

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid == fixture::CLSID_VexCalculator) return g_calculatorFactory.QueryInterface(riid, out);
    // The control is a doubler too: what a container learns about it is its status.
    if (clsid == fixture::CLSID_VexDoubler || clsid == fixture::CLSID_VexGauge)
        return g_doublerFactory.QueryInterface(riid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return fixture::g_locks == 0 ? S_OK : S_FALSE;
}
