// TlbDump.exe <file>: prints what the platform's type-library loader makes of a file, type by
// type (kind, flags, implemented types, functions). A diagnostic for the fixtures: widl has
// written broken libraries before, and the reader's tests are only as good as these files.
#include <windows.h>
#include <oleauto.h>

#include <cwchar>

namespace {

const wchar_t* KindName(TYPEKIND kind) {
    switch (kind) {
    case TKIND_ENUM:
        return L"enum";
    case TKIND_RECORD:
        return L"record";
    case TKIND_MODULE:
        return L"module";
    case TKIND_INTERFACE:
        return L"interface";
    case TKIND_DISPATCH:
        return L"dispatch";
    case TKIND_COCLASS:
        return L"coclass";
    case TKIND_ALIAS:
        return L"alias";
    case TKIND_UNION:
        return L"union";
    default:
        return L"?";
    }
}

void PrintGuid(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    std::wprintf(L"%ls", text);
}

// One type: its attributes, the types it implements, and its functions' names.
void DumpType(ITypeInfo* info, const wchar_t* indent, bool followVtable) {
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) return;
    BSTR name = nullptr;
    info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
    std::wprintf(L"%ls%ls %ls ", indent, KindName(attr->typekind), name ? name : L"?");
    PrintGuid(attr->guid);
    std::wprintf(L" flags=0x%04x funcs=%u impl=%u cbVtbl=%u\n", attr->wTypeFlags, attr->cFuncs,
                 attr->cImplTypes, attr->cbSizeVft);
    SysFreeString(name);
    for (UINT i = 0; i < attr->cImplTypes; ++i) {
        HREFTYPE ref = 0;
        ITypeInfo* base = nullptr;
        INT implFlags = 0;
        info->GetImplTypeFlags(i, &implFlags);
        if (SUCCEEDED(info->GetRefTypeOfImplType(i, &ref)) &&
            SUCCEEDED(info->GetRefTypeInfo(ref, &base))) {
            TYPEATTR* baseAttr = nullptr;
            BSTR baseName = nullptr;
            base->GetDocumentation(MEMBERID_NIL, &baseName, nullptr, nullptr, nullptr);
            if (SUCCEEDED(base->GetTypeAttr(&baseAttr))) {
                std::wprintf(L"%ls  impl[%u] flags=0x%x %ls ", indent, i, implFlags,
                             baseName ? baseName : L"?");
                PrintGuid(baseAttr->guid);
                std::wprintf(L"\n");
                base->ReleaseTypeAttr(baseAttr);
            }
            SysFreeString(baseName);
            base->Release();
        } else {
            std::wprintf(L"%ls  impl[%u] unreadable\n", indent, i);
        }
    }
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* func = nullptr;
        if (FAILED(info->GetFuncDesc(i, &func))) continue;
        BSTR funcName = nullptr;
        info->GetDocumentation(func->memid, &funcName, nullptr, nullptr, nullptr);
        std::wprintf(L"%ls  func %ls id=%ld params=%d\n", indent, funcName ? funcName : L"?",
                     func->memid, func->cParams);
        SysFreeString(funcName);
        info->ReleaseFuncDesc(func);
    }
    bool dual = attr->typekind == TKIND_DISPATCH && (attr->wTypeFlags & TYPEFLAG_FDUAL);
    info->ReleaseTypeAttr(attr);
    if (dual && followVtable) {
        HREFTYPE ref = 0;
        ITypeInfo* vtable = nullptr;
        if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref)) &&
            SUCCEEDED(info->GetRefTypeInfo(ref, &vtable))) {
            std::wprintf(L"%ls  vtable half:\n", indent);
            DumpType(vtable, L"      ", false);
            vtable->Release();
        }
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::wprintf(L"usage: TlbDump.exe <file>\n");
        return 2;
    }
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadTypeLibEx(argv[1], REGKIND_NONE, &lib);
    if (FAILED(hr)) {
        std::wprintf(L"LoadTypeLibEx: 0x%08lx\n", static_cast<unsigned long>(hr));
        return 1;
    }
    TLIBATTR* attr = nullptr;
    BSTR name = nullptr;
    lib->GetDocumentation(-1, &name, nullptr, nullptr, nullptr);
    if (SUCCEEDED(lib->GetLibAttr(&attr))) {
        std::wprintf(L"library %ls ", name ? name : L"?");
        PrintGuid(attr->guid);
        std::wprintf(L" %u.%u syskind=%d\n", attr->wMajorVerNum, attr->wMinorVerNum, attr->syskind);
        lib->ReleaseTLibAttr(attr);
    }
    SysFreeString(name);
    UINT count = lib->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        ITypeInfo* info = nullptr;
        if (FAILED(lib->GetTypeInfo(i, &info))) {
            std::wprintf(L"[%u] unreadable\n", i);
            continue;
        }
        std::wprintf(L"[%u] ", i);
        DumpType(info, L"", true);
        info->Release();
    }
    lib->Release();
    return 0;
}
