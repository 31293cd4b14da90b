#include "manifest/ComRegistration.h"

#include "common/LongPath.h"
#include "manifest/modCommon.h"

#include <windows.h>
#include <oleauto.h>
#include <psapi.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <optional>
#include <type_traits>

namespace ComRegistration {
namespace {

using modCommon::Upper;
using TypeLibReader::RegisteredClass;
using TypeLibReader::RegisteredProgId;
using TypeLibReader::Registration;

class Key {
  public:
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (h_) RegCloseKey(h_);
    }
    HKEY get() const { return h_; }
    HKEY* put() { return &h_; }

  private:
    HKEY h_ = nullptr;
};

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// --- the type-library registration functions, replaced -----------------------------------------

// The platform's own functions, looked up once: the replacements call them, and once the lookup
// itself is replaced it could no longer find them.
struct Real {
    decltype(&LoadTypeLibEx) LoadTypeLibEx = nullptr;
    decltype(&LoadLibraryA) LoadLibraryA = nullptr;
    decltype(&LoadLibraryW) LoadLibraryW = nullptr;
    decltype(&LoadLibraryExA) LoadLibraryExA = nullptr;
    decltype(&LoadLibraryExW) LoadLibraryExW = nullptr;
    decltype(&GetProcAddress) GetProcAddress = nullptr;
};
Real g_real;

struct Replacement {
    const char* Name;        // as oleaut32 or kernel32 exports it
    std::vector<void*> From; // every address a module may have bound it to
    void* To;
};
std::vector<Replacement> g_replacements;

HRESULT WINAPI RegisterNothing(ITypeLib*, LPCOLESTR, LPCOLESTR) {
    return S_OK;
}
HRESULT WINAPI RegisterNothingForUser(ITypeLib*, OLECHAR*, OLECHAR*) {
    return S_OK;
}
HRESULT WINAPI LoadWithoutRegistering(LPCOLESTR file, ITypeLib** lib) {
    return g_real.LoadTypeLibEx(file, REGKIND_NONE, lib);
}
HRESULT WINAPI LoadExWithoutRegistering(LPCOLESTR file, REGKIND kind, ITypeLib** lib) {
    return g_real.LoadTypeLibEx(file, kind == REGKIND_REGISTER ? REGKIND_NONE : kind, lib);
}

void ReplaceInEveryModule();

// A module loaded during registration gets the replacements before any of its code can reach them
// (its own start-up aside).
template <class Load, class... Args> HMODULE Loaded(Load load, Args... args) {
    HMODULE module = load(args...);
    const DWORD error = GetLastError();
    if (module) ReplaceInEveryModule();
    SetLastError(error);
    return module;
}
HMODULE WINAPI LoadA(LPCSTR name) {
    return Loaded(g_real.LoadLibraryA, name);
}
HMODULE WINAPI LoadW(LPCWSTR name) {
    return Loaded(g_real.LoadLibraryW, name);
}
HMODULE WINAPI LoadExA(LPCSTR name, HANDLE file, DWORD flags) {
    return Loaded(g_real.LoadLibraryExA, name, file, flags);
}
HMODULE WINAPI LoadExW(LPCWSTR name, HANDLE file, DWORD flags) {
    return Loaded(g_real.LoadLibraryExW, name, file, flags);
}

// A registration function looked up at run time (or by a delay-load helper) is a replacement too.
FARPROC WINAPI LookUp(HMODULE module, LPCSTR name) {
    FARPROC found = g_real.GetProcAddress(module, name);
    if (!found || reinterpret_cast<std::uintptr_t>(name) <= 0xFFFF) return found;
    for (const Replacement& r : g_replacements) {
        if (std::find(r.From.begin(), r.From.end(), reinterpret_cast<void*>(found)) != r.From.end())
            return reinterpret_cast<FARPROC>(r.To);
    }
    return found;
}

// Writes one import slot, keeping the page's execute permission where it had it.
void Patch(void** slot, void* to) {
    MEMORY_BASIC_INFORMATION page{};
    if (!VirtualQuery(slot, &page, sizeof page)) return;
    const DWORD executable =
        PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    const DWORD writable = (page.Protect & executable) ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE;
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof *slot, writable, &old)) return;
    *slot = to;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

const Replacement* ReplacementFor(void* function) {
    for (const Replacement& r : g_replacements)
        if (std::find(r.From.begin(), r.From.end(), function) != r.From.end()) return &r;
    return nullptr;
}

const Replacement* ReplacementNamed(const char* dll, const char* name) {
    // Only the libraries that export them: another library's function of the same name is not
    // ours to touch.
    const bool known = _stricmp(dll, "oleaut32.dll") == 0 || _stricmp(dll, "kernel32.dll") == 0 ||
                       _strnicmp(dll, "api-ms-win-core-libraryloader", 29) == 0 ||
                       _stricmp(dll, "kernelbase.dll") == 0;
    if (!known) return nullptr;
    for (const Replacement& r : g_replacements)
        if (std::strcmp(r.Name, name) == 0) return &r;
    return nullptr;
}

template <class T> T* At(BYTE* base, DWORD rva) {
    return reinterpret_cast<T*>(base + rva);
}

void ReplaceImports(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
    const auto* nt = At<const IMAGE_NT_HEADERS>(base, static_cast<DWORD>(dos->e_lfanew));
    if (nt->Signature != IMAGE_NT_SIGNATURE) return;
    const IMAGE_DATA_DIRECTORY* directories = nt->OptionalHeader.DataDirectory;
    // Bound imports: the slot holds the function itself.
    if (const DWORD rva = directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress) {
        for (auto* d = At<IMAGE_IMPORT_DESCRIPTOR>(base, rva); d->Name != 0; ++d) {
            for (auto* slot = At<IMAGE_THUNK_DATA>(base, d->FirstThunk); slot->u1.Function != 0;
                 ++slot) {
                if (const Replacement* r =
                        ReplacementFor(reinterpret_cast<void*>(slot->u1.Function)))
                    Patch(reinterpret_cast<void**>(&slot->u1.Function), r->To);
            }
        }
    }
    // Delay-loaded imports: the slot holds the loader's helper until first use, so it is found by
    // the function's name and set to the replacement now.
    if (const DWORD rva = directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].VirtualAddress) {
        for (auto* d = At<IMAGE_DELAYLOAD_DESCRIPTOR>(base, rva); d->DllNameRVA != 0; ++d) {
            if (!d->Attributes.RvaBased) continue; // the old form holds addresses; long gone
            const char* dll = At<const char>(base, d->DllNameRVA);
            auto* names = At<IMAGE_THUNK_DATA>(base, d->ImportNameTableRVA);
            auto* slots = At<IMAGE_THUNK_DATA>(base, d->ImportAddressTableRVA);
            for (; names->u1.AddressOfData != 0; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
                const auto* byName = At<const IMAGE_IMPORT_BY_NAME>(
                    base, static_cast<DWORD>(names->u1.AddressOfData));
                if (const Replacement* r = ReplacementNamed(dll, byName->Name))
                    Patch(reinterpret_cast<void**>(&slots->u1.Function), r->To);
            }
        }
    }
}

// The loader's own modules, whose stubs reach the real functions through their imports: theirs
// stay as they are, or a replacement calling the real function would come back to itself.
HMODULE g_loaders[2] = {};

void ReplaceInEveryModule() {
    std::vector<HMODULE> modules(1024);
    DWORD needed = 0;
    if (!K32EnumProcessModules(GetCurrentProcess(), modules.data(),
                               static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed))
        return;
    modules.resize(std::min<std::size_t>(modules.size(), needed / sizeof(HMODULE)));
    for (HMODULE module : modules)
        if (module != g_loaders[0] && module != g_loaders[1]) ReplaceImports(module);
}

// Once in the process: the type library is read from the file, its registration is never needed,
// and a 64-bit RegisterTypeLib writes through the other registry view, past the redirection.
void ReplaceTypeLibRegistration() {
    if (g_replacements.empty()) {
        HMODULE oleaut = LoadLibraryExW(L"oleaut32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!oleaut) oleaut = GetModuleHandleW(L"oleaut32.dll");
        HMODULE* loaders = g_loaders;
        loaders[0] = GetModuleHandleW(L"kernel32.dll");
        loaders[1] = GetModuleHandleW(L"kernelbase.dll");
        // The innermost implementation, where kernel32's functions are stubs that call it.
        HMODULE inner = loaders[1] ? loaders[1] : loaders[0];
        if (!oleaut || !inner) return;
        auto find = [](HMODULE module, const char* name) {
            return module ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
        };
        auto real = [&](auto& slot, HMODULE module, const char* name) {
            slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
                reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
        };
        real(g_real.LoadTypeLibEx, oleaut, "LoadTypeLibEx");
        real(g_real.LoadLibraryA, inner, "LoadLibraryA");
        real(g_real.LoadLibraryW, inner, "LoadLibraryW");
        real(g_real.LoadLibraryExA, inner, "LoadLibraryExA");
        real(g_real.LoadLibraryExW, inner, "LoadLibraryExW");
        real(g_real.GetProcAddress, inner, "GetProcAddress");
        if (!g_real.LoadTypeLibEx || !g_real.LoadLibraryA || !g_real.LoadLibraryW ||
            !g_real.LoadLibraryExA || !g_real.LoadLibraryExW || !g_real.GetProcAddress)
            return;
        auto add = [&](const char* name, HMODULE const* from, std::size_t count, void* to) {
            Replacement r{name, {}, to};
            for (std::size_t i = 0; i < count; ++i)
                if (void* f = find(from[i], name)) r.From.push_back(f);
            if (!r.From.empty()) g_replacements.push_back(std::move(r));
        };
        add("RegisterTypeLib", &oleaut, 1, reinterpret_cast<void*>(&RegisterNothing));
        add("RegisterTypeLibForUser", &oleaut, 1, reinterpret_cast<void*>(&RegisterNothingForUser));
        add("LoadTypeLib", &oleaut, 1, reinterpret_cast<void*>(&LoadWithoutRegistering));
        add("LoadTypeLibEx", &oleaut, 1, reinterpret_cast<void*>(&LoadExWithoutRegistering));
        add("LoadLibraryA", loaders, 2, reinterpret_cast<void*>(&LoadA));
        add("LoadLibraryW", loaders, 2, reinterpret_cast<void*>(&LoadW));
        add("LoadLibraryExA", loaders, 2, reinterpret_cast<void*>(&LoadExA));
        add("LoadLibraryExW", loaders, 2, reinterpret_cast<void*>(&LoadExW));
        add("GetProcAddress", loaders, 2, reinterpret_cast<void*>(&LookUp));
    }
    ReplaceInEveryModule();
}

// --- reading back what was registered ------------------------------------------------------------

std::optional<std::wstring> StringValue(HKEY key, const std::wstring& subKey, const wchar_t* name) {
    DWORD type = 0;
    const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    // One call for the usual short value; a longer one is asked for again at its size.
    std::wstring value(260, L'\0');
    DWORD size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    LSTATUS status = RegGetValueW(key, subKey.c_str(), name, flags, &type, value.data(), &size);
    if (status == ERROR_MORE_DATA) {
        value.assign(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        status = RegGetValueW(key, subKey.c_str(), name, flags, &type, value.data(), &size);
    }
    if (status != ERROR_SUCCESS) return std::nullopt;
    value.resize(
        wcsnlen(value.c_str(), std::min<std::size_t>(value.size(), size / sizeof(wchar_t))));
    if (type == REG_EXPAND_SZ) {
        const DWORD length = ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
        std::wstring expanded(length, L'\0');
        if (length && ExpandEnvironmentStringsW(value.c_str(), expanded.data(), length) == length)
            value = expanded.substr(0, length - 1);
    }
    return value;
}

// A MiscStatus value: a decimal text as registration code writes it, or a number.
std::optional<std::uint32_t> StatusValue(HKEY key, const std::wstring& subKey) {
    DWORD number = 0, size = sizeof number;
    if (RegGetValueW(key, subKey.c_str(), nullptr, RRF_RT_REG_DWORD, nullptr, &number, &size) ==
        ERROR_SUCCESS)
        return number;
    const auto text = StringValue(key, subKey, nullptr);
    if (!text || text->empty()) return std::nullopt;
    wchar_t* end = nullptr;
    const unsigned long value = std::wcstoul(text->c_str(), &end, 10);
    if (*end != L'\0') return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

// A file's name in one form whatever form it came in: without the "\\?\" prefix, in long form.
std::wstring Canonical(const std::wstring& name) {
    auto plain = [](std::wstring text) {
        if (text.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + text.substr(8);
        if (text.rfind(L"\\\\?\\", 0) == 0) return text.substr(4);
        return text;
    };
    const std::wstring full = LongPath::ForFileApi(plain(name));
    const DWORD size = GetLongPathNameW(full.c_str(), nullptr, 0);
    if (size == 0) return plain(name);
    std::wstring result(size, L'\0');
    const DWORD length = GetLongPathNameW(full.c_str(), result.data(), size);
    return length == 0 || length >= size ? plain(name) : plain(result.substr(0, length));
}

// Whether a server path as registered names the component: expanded, unquoted, in long form,
// with or without the long-name prefix, letter case aside; a bare file name names it when it
// equals the component's.
bool NamesFile(std::wstring server, const std::wstring& file) {
    while (!server.empty() && std::iswspace(server.back())) server.pop_back();
    while (!server.empty() && std::iswspace(server.front())) server.erase(0, 1);
    if (server.size() >= 2 && server.front() == L'"' && server.back() == L'"')
        server = server.substr(1, server.size() - 2);
    if (server.find_first_of(L"\\/") == std::wstring::npos)
        return SameText(server, file.substr(file.find_last_of(L"\\/") + 1));
    return SameText(Canonical(server), Canonical(file));
}

// The names of the key's subkeys (none when it cannot be opened), and the key opened.
std::vector<std::wstring> SubKeys(HKEY root, const std::wstring& path, Key& opened) {
    std::vector<std::wstring> names;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, opened.put()) != ERROR_SUCCESS) return names;
    wchar_t name[256];
    for (DWORD i = 0, length = 256; RegEnumKeyExW(opened.get(), i, name, &length, nullptr, nullptr,
                                                  nullptr, nullptr) == ERROR_SUCCESS;
         ++i, length = 256)
        names.emplace_back(name, length);
    return names;
}

void ReadClasses(HKEY root, const std::wstring& path, const std::wstring& file,
                 std::vector<RegisteredClass>& classes) {
    Key clsids;
    for (const std::wstring& id : SubKeys(root, path, clsids)) {
        const auto server = StringValue(clsids.get(), id + L"\\InprocServer32", nullptr);
        if (!server || !NamesFile(*server, file)) continue;
        RegisteredClass c;
        c.Clsid = Upper(id);
        if (std::any_of(classes.begin(), classes.end(),
                        [&](const RegisteredClass& o) { return o.Clsid == c.Clsid; }))
            continue;
        c.ProgId = StringValue(clsids.get(), id + L"\\ProgID", nullptr).value_or(L"");
        c.VersionIndependentProgId =
            StringValue(clsids.get(), id + L"\\VersionIndependentProgID", nullptr).value_or(L"");
        c.ThreadingModel =
            StringValue(clsids.get(), id + L"\\InprocServer32", L"ThreadingModel").value_or(L"");
        const wchar_t* aspects[] = {L"", L"\\1", L"\\2", L"\\4", L"\\8"};
        for (int a = 0; a < 5; ++a)
            c.MiscStatus[a] = StatusValue(clsids.get(), id + L"\\MiscStatus" + aspects[a]);
        classes.push_back(std::move(c));
    }
}

// One of the redirected views' classes keys, as the merged HKEY_CLASSES_ROOT shows them.
struct ClassesRoot {
    HKEY Key;
    std::wstring Path; // empty: the view's key itself
};

// A value as the merged classes root gives it: the first of the roots that has it.
std::optional<std::wstring> ClassesValue(const std::vector<ClassesRoot>& roots,
                                         const std::wstring& subKey) {
    for (const ClassesRoot& root : roots)
        if (auto value = StringValue(
                root.Key, root.Path.empty() ? subKey : root.Path + L"\\" + subKey, nullptr))
            return value;
    return std::nullopt;
}

// The class a ProgID names, as the platform resolves it: its CLSID key, or for a name without
// one the CLSID key of the ProgID its CurVer names (Windows follows CurVer there, Wine does not;
// through a manifest both find the name). Empty when neither names a class.
std::wstring ResolvedClass(const std::vector<ClassesRoot>& roots, const std::wstring& progId) {
    auto clsid = ClassesValue(roots, progId + L"\\CLSID");
    if (!clsid) {
        if (const auto current = ClassesValue(roots, progId + L"\\CurVer"))
            clsid = ClassesValue(roots, *current + L"\\CLSID");
    }
    return clsid ? Upper(*clsid) : std::wstring();
}

// Every top-level key of the roots that resolves to a class, once, in the order of the names.
std::vector<RegisteredProgId> ReadProgIds(const std::vector<ClassesRoot>& roots) {
    std::vector<RegisteredProgId> progIds;
    for (const ClassesRoot& root : roots) {
        Key names;
        for (const std::wstring& progId : SubKeys(root.Key, root.Path, names)) {
            if (std::any_of(progIds.begin(), progIds.end(),
                            [&](const RegisteredProgId& p) { return SameText(p.Name, progId); }))
                continue;
            std::wstring clsid = ResolvedClass(roots, progId);
            if (!clsid.empty()) progIds.push_back({progId, std::move(clsid)});
        }
    }
    std::sort(progIds.begin(), progIds.end(),
              [](const auto& a, const auto& b) { return Upper(a.Name) < Upper(b.Name); });
    return progIds;
}

HKEY PredefinedKey(int index) {
    const HKEY keys[] = {HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS};
    return keys[index];
}

bool KeyExists(const std::wstring& key, REGSAM view) {
    Key opened;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | view, opened.put()) ==
           ERROR_SUCCESS;
}

struct View {
    REGSAM Flag;
    const wchar_t* Name;
};
constexpr View kViews[] = {{KEY_WOW64_64KEY, L"64\\"}, {KEY_WOW64_32KEY, L"32\\"}};

constexpr wchar_t kScratchPrefix[] = L"VexmorLink.Scratch.";

// When the process with that id started, or 0 when none runs.
std::uint64_t RunningSince(DWORD id) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id);
    if (!process) return 0;
    FILETIME created{}, exited{}, kernel{}, user{};
    std::uint64_t since = 0;
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT &&
        GetProcessTimes(process, &created, &exited, &kernel, &user))
        since = (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    CloseHandle(process);
    return since;
}

} // namespace

Registration Capture(const std::wstring& File, const std::wstring& ScratchKey) {
    Registration result;
    result.How = Registration::Outcome::Failed;
    Key scratch, views[4];
    const wchar_t* names[] = {L"HKCR", L"HKLM", L"HKCU", L"HKU"};
    // Not volatile: a volatile key cannot hold the lasting keys registration code creates.
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, ScratchKey.c_str(), 0, nullptr, 0,
                                     KEY_ALL_ACCESS, nullptr, scratch.put(), nullptr);
    for (int i = 0; i < 4 && status == ERROR_SUCCESS; ++i) {
        status = RegCreateKeyExW(scratch.get(), names[i], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 views[i].put(), nullptr);
    }
    if (status != ERROR_SUCCESS) {
        result.Number = static_cast<std::uint32_t>(HRESULT_FROM_WIN32(status));
        return result;
    }
    // As the platform's registration tool does, and before the registry is redirected: OLE reads
    // the machine's registry as it starts, and components create their registrars through COM.
    const HRESULT ole = OleInitialize(nullptr);
    for (int i = 0; i < 4; ++i) RegOverridePredefKey(PredefinedKey(i), views[i].get());
    // The loader takes a long name only in its short form (see LongPath::ForLoader).
    HMODULE module =
        LoadLibraryExW(LongPath::ForLoader(File).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    HRESULT hr = module ? S_OK : HRESULT_FROM_WIN32(GetLastError());
    if (module) {
        ReplaceTypeLibRegistration();
        using Entry = HRESULT(STDAPICALLTYPE*)();
        const auto registerServer = reinterpret_cast<Entry>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "DllRegisterServer")));
        if (!registerServer) {
            result.How = Registration::Outcome::NoEntryPoint;
        } else {
            hr = registerServer();
        }
    }
    for (int i = 0; i < 4; ++i) RegOverridePredefKey(PredefinedKey(i), nullptr);
    if (SUCCEEDED(ole)) OleUninitialize();
    if (result.How == Registration::Outcome::NoEntryPoint) return result;
    if (FAILED(hr)) {
        result.Number = static_cast<std::uint32_t>(hr);
        return result;
    }
    result.How = Registration::Outcome::Captured;
    ReadClasses(views[0].get(), L"CLSID", File, result.Classes);
    ReadClasses(views[1].get(), L"Software\\Classes\\CLSID", File, result.Classes);
    ReadClasses(views[2].get(), L"Software\\Classes\\CLSID", File, result.Classes);
    // The user's classes over the machine's, as HKEY_CLASSES_ROOT merges them.
    result.ProgIds = ReadProgIds({{views[2].get(), L"Software\\Classes"},
                                  {views[0].get(), L""},
                                  {views[1].get(), L"Software\\Classes"}});
    return result;
}

std::vector<std::wstring> IdentifierKeys(const TypeLibReader::TypeLibInfo& TypeLib) {
    std::vector<std::wstring> keys;
    auto add = [&](const wchar_t* folder, const auto& read) {
        try {
            keys.push_back(std::wstring(folder) + L"\\" + read());
        } catch (...) {
            // an identifier that cannot be read names no key
        }
    };
    add(L"TypeLib", [&] { return TypeLib.GUID(); });
    for (std::size_t i = 0; i < TypeLib.CoClassCount(); ++i)
        add(L"CLSID", [&] { return TypeLib.CoClass(i).GUID; });
    for (std::size_t i = 0; i < TypeLib.InterfaceCount(); ++i)
        add(L"Interface", [&] { return TypeLib.Interface(i).GUID; });
    return keys;
}

std::vector<std::wstring> ExistingKeys(const std::vector<std::wstring>& Keys) {
    std::vector<std::wstring> existing;
    for (const std::wstring& key : Keys) {
        for (const View& view : kViews)
            if (KeyExists(key, view.Flag)) existing.push_back(view.Name + key);
    }
    return existing;
}

std::vector<std::wstring> RemoveNewKeys(const std::vector<std::wstring>& Keys,
                                        const std::vector<std::wstring>& Before,
                                        const std::wstring& File) {
    std::vector<std::wstring> notes;
    for (const std::wstring& key : Keys) {
        const std::size_t slash = key.find(L'\\');
        bool removed = false;
        for (const View& view : kViews) {
            // A key that was there before in this view is the machine's; in the other view it
            // may still be new.
            if (std::find(Before.begin(), Before.end(), view.Name + key) != Before.end()) continue;
            // The merged view may show the key from the machine's and the user's classes.
            for (int attempt = 0; attempt < 2 && KeyExists(key, view.Flag); ++attempt) {
                Key parent;
                if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.substr(0, slash).c_str(), 0,
                                  KEY_ALL_ACCESS | view.Flag, parent.put()) != ERROR_SUCCESS)
                    break;
                const std::wstring name = key.substr(slash + 1);
                RegDeleteTreeW(parent.get(), name.c_str());
                removed =
                    RegDeleteKeyExW(parent.get(), name.c_str(), view.Flag, 0) == ERROR_SUCCESS ||
                    removed || !KeyExists(key, view.Flag);
            }
        }
        if (removed) {
            notes.push_back(L"Удалён раздел реестра HKEY_CLASSES_ROOT\\" + key +
                            L", созданный регистрацией компонента \"" + File + L"\".");
        }
    }
    return notes;
}

std::wstring ScratchKey(std::uint32_t ProcessId, std::uint64_t StartTime) {
    wchar_t start[24] = {};
    std::swprintf(start, 24, L"%016llX", static_cast<unsigned long long>(StartTime));
    return std::wstring(L"Software\\") + kScratchPrefix + std::to_wstring(ProcessId) + L"-" + start;
}

void DeleteScratchKey(const std::wstring& ScratchKey) {
    RegDeleteTreeW(HKEY_CURRENT_USER, ScratchKey.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, ScratchKey.c_str());
}

void DeleteStaleScratchKeys() {
    const std::wstring prefix = kScratchPrefix;
    Key software;
    std::vector<std::wstring> stale;
    for (const std::wstring& key : SubKeys(HKEY_CURRENT_USER, L"Software", software)) {
        if (key.compare(0, prefix.size(), prefix) != 0) continue;
        // <id>-<start>: the reading process that owns it; an earlier version's <id>.<...> named
        // the program, of which only the id is known.
        wchar_t* end = nullptr;
        const auto id = static_cast<DWORD>(std::wcstoul(key.c_str() + prefix.size(), &end, 10));
        const std::uint64_t since = RunningSince(id);
        const bool running =
            *end == L'-' ? since != 0 && since == std::wcstoull(end + 1, nullptr, 16) : since != 0;
        if (!running) stale.push_back(L"Software\\" + key);
    }
    for (const std::wstring& key : stale) DeleteScratchKey(key);
}

} // namespace ComRegistration
