// ComRegHelper.dll: what a component's registration loads to do part of its work, here the
// registration of its type library (ComRegHostile.dll's "Loader" copies).
#include <windows.h>
#include <oleauto.h>

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE RegisterLibrary(const wchar_t* path) {
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &lib);
    if (FAILED(hr)) return hr;
    hr = RegisterTypeLib(lib, const_cast<wchar_t*>(path), nullptr);
    lib->Release();
    return hr;
}
