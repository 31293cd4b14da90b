// Writes the benchmark's big type library through the platform's own type-library writer
// (widl stops at 512 types): <interfaces> dual interfaces with one method each, every second one
// derived from the one before it, and <classes> classes, each with one of them.
//   BigTypeLib.exe <file.tlb> <interfaces> <classes>
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

GUID Numbered(unsigned kind, unsigned n) {
    return GUID{n, 0, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, static_cast<unsigned char>(kind)}};
}

bool Ok(HRESULT hr, const char* what) {
    if (SUCCEEDED(hr)) return true;
    std::fprintf(stderr, "%s failed: 0x%08lX\n", what, static_cast<unsigned long>(hr));
    return false;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) return 2;
    const unsigned interfaces = _wtoi(argv[2]), classes = _wtoi(argv[3]);
    ITypeLib* stdole = nullptr;
    ITypeInfo* dispatch = nullptr;
    ICreateTypeLib2* lib = nullptr;
    if (!Ok(LoadTypeLibEx(L"stdole2.tlb", REGKIND_NONE, &stdole), "stdole2") ||
        !Ok(stdole->GetTypeInfoOfGuid(IID_IDispatch, &dispatch), "IDispatch") ||
        !Ok(CreateTypeLib2(SYS_WIN64, argv[1], &lib), "CreateTypeLib2"))
        return 1;
    lib->SetName(const_cast<wchar_t*>(L"VexmorBench"));
    lib->SetGuid(Numbered(0, 0));
    lib->SetVersion(1, 0);
    std::vector<ITypeInfo*> made;
    for (unsigned i = 0; i < interfaces + classes; ++i) {
        const bool isClass = i >= interfaces;
        const unsigned n = isClass ? i - interfaces : i;
        std::wstring name = (isClass ? L"CBench" : L"IBench") + std::to_wstring(n);
        ICreateTypeInfo* info = nullptr;
        if (!Ok(lib->CreateTypeInfo(name.data(), isClass ? TKIND_COCLASS : TKIND_INTERFACE, &info),
                "CreateTypeInfo"))
            return 1;
        info->SetGuid(Numbered(isClass ? 2 : 1, n));
        ITypeInfo* base = isClass ? made[n % interfaces] : (n % 2 ? made[n - 1] : dispatch);
        HREFTYPE ref = 0;
        if (!Ok(info->AddRefTypeInfo(base, &ref), "AddRefTypeInfo") ||
            !Ok(info->AddImplType(0, ref), "AddImplType"))
            return 1;
        if (isClass) {
            info->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT);
        } else {
            info->SetTypeFlags(TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION);
            ELEMDESC result{};
            result.tdesc.vt = VT_HRESULT;
            FUNCDESC method{};
            method.memid = static_cast<MEMBERID>(n + 1);
            method.funckind = FUNC_PUREVIRTUAL;
            method.invkind = INVOKE_FUNC;
            method.callconv = CC_STDCALL;
            method.elemdescFunc = result;
            if (!Ok(info->AddFuncDesc(0, &method), "AddFuncDesc")) return 1;
            std::wstring methodName = L"M" + std::to_wstring(n);
            LPOLESTR names[] = {methodName.data()};
            info->SetFuncAndParamNames(0, names, 1);
        }
        if (!Ok(info->LayOut(), "LayOut")) return 1;
        ITypeInfo* typeInfo = nullptr;
        info->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(&typeInfo));
        made.push_back(typeInfo);
        info->Release();
    }
    return Ok(lib->SaveAllChanges(), "SaveAllChanges") ? 0 : 1;
}
