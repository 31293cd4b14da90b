#include "manifest/ComRegistration.h"

#include "common/LongPath.h"

#include <windows.h>
#include <oleauto.h>
#include <psapi.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <optional>

namespace ComRegistration {
namespace {

using TypeLibReader::RegisteredClass;
using TypeLibReader::Registration;

constexpr wchar_t kScratchPrefix[] = L"Software\\VexmorLink.Scratch.";

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

std::wstring Upper(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

// --- the type-library registration functions, replaced -----------------------------------------

// The real loader, for the replacements to call: every import of it may be replaced.
decltype(&LoadTypeLibEx) g_loadTypeLibEx = nullptr;

HRESULT WINAPI RegisterNothing(ITypeLib*, LPCOLESTR, LPCOLESTR) {
    return S_OK;
}
HRESULT WINAPI RegisterNothingForUser(ITypeLib*, OLECHAR*, OLECHAR*) {
    return S_OK;
}
HRESULT WINAPI LoadWithoutRegistering(LPCOLESTR file, ITypeLib** lib) {
    return g_loadTypeLibEx(file, REGKIND_NONE, lib);
}
HRESULT WINAPI LoadExWithoutRegistering(LPCOLESTR file, REGKIND kind, ITypeLib** lib) {
    return g_loadTypeLibEx(file, kind == REGKIND_REGISTER ? REGKIND_NONE : kind, lib);
}

struct Replacement {
    void* From;
    void* To;
};

void ReplaceImports(HMODULE module, const std::vector<Replacement>& replacements) {
    auto* base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return;
    const IMAGE_DATA_DIRECTORY& imports =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0) return;
    for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         d->Name != 0; ++d) {
        for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
             slot->u1.Function != 0; ++slot) {
            for (const Replacement& r : replacements) {
                if (reinterpret_cast<void*>(slot->u1.Function) != r.From) continue;
                DWORD old = 0;
                if (!VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE,
                                    &old))
                    continue;
                slot->u1.Function = reinterpret_cast<ULONG_PTR>(r.To);
                VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, old, &old);
            }
        }
    }
}

// Every loaded module's imports of the registration functions go to ones that register
// nothing: the type library is read from the file, its registration is never needed, and a
// 64-bit RegisterTypeLib writes through the other registry view, past the redirection.
void ReplaceTypeLibRegistration() {
    HMODULE oleaut = GetModuleHandleW(L"oleaut32.dll");
    if (!oleaut) return;
    auto real = [&](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(oleaut, name));
    };
    g_loadTypeLibEx = reinterpret_cast<decltype(&LoadTypeLibEx)>(
        reinterpret_cast<void (*)()>(GetProcAddress(oleaut, "LoadTypeLibEx")));
    if (!g_loadTypeLibEx) return;
    std::vector<Replacement> replacements = {
        {real("RegisterTypeLib"), reinterpret_cast<void*>(&RegisterNothing)},
        {real("RegisterTypeLibForUser"), reinterpret_cast<void*>(&RegisterNothingForUser)},
        {real("LoadTypeLib"), reinterpret_cast<void*>(&LoadWithoutRegistering)},
        {real("LoadTypeLibEx"), reinterpret_cast<void*>(&LoadExWithoutRegistering)},
    };
    replacements.erase(std::remove_if(replacements.begin(), replacements.end(),
                                      [](const Replacement& r) { return !r.From; }),
                       replacements.end());
    std::vector<HMODULE> modules(1024);
    DWORD needed = 0;
    if (!K32EnumProcessModules(GetCurrentProcess(), modules.data(),
                               static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed))
        return;
    modules.resize(std::min<std::size_t>(modules.size(), needed / sizeof(HMODULE)));
    for (HMODULE module : modules) ReplaceImports(module, replacements);
}

// --- reading back what was registered ------------------------------------------------------------

std::optional<std::wstring> StringValue(HKEY key, const std::wstring& subKey, const wchar_t* name) {
    DWORD type = 0, size = 0;
    const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    if (RegGetValueW(key, subKey.c_str(), name, flags, &type, nullptr, &size) != ERROR_SUCCESS)
        return std::nullopt;
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegGetValueW(key, subKey.c_str(), name, flags, &type, value.data(), &size) != ERROR_SUCCESS)
        return std::nullopt;
    value.resize(wcsnlen(value.c_str(), value.size()));
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

std::wstring LongForm(const std::wstring& name) {
    const DWORD size = GetLongPathNameW(name.c_str(), nullptr, 0);
    if (size == 0) return name;
    std::wstring result(size, L'\0');
    const DWORD length = GetLongPathNameW(name.c_str(), result.data(), size);
    return length == 0 || length >= size ? name : result.substr(0, length);
}

// Whether a server path as registered names the component: expanded, unquoted, in long form,
// letter case aside; a bare file name names it when it equals the component's.
bool NamesFile(std::wstring server, const std::wstring& file) {
    while (!server.empty() && std::iswspace(server.back())) server.pop_back();
    while (!server.empty() && std::iswspace(server.front())) server.erase(0, 1);
    if (server.size() >= 2 && server.front() == L'"' && server.back() == L'"')
        server = server.substr(1, server.size() - 2);
    if (server.find_first_of(L"\\/") == std::wstring::npos)
        return SameText(server, file.substr(file.find_last_of(L"\\/") + 1));
    return SameText(LongForm(server), LongForm(file));
}

void ReadClasses(HKEY root, const std::wstring& path, const std::wstring& file,
                 std::vector<RegisteredClass>& classes) {
    Key clsids;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, clsids.put()) != ERROR_SUCCESS) return;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(clsids.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        const std::wstring id(name, length);
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

HKEY PredefinedKey(int index) {
    const HKEY keys[] = {HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS};
    return keys[index];
}

bool KeyExists(const std::wstring& key, REGSAM view) {
    Key opened;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ | view, opened.put()) ==
           ERROR_SUCCESS;
}

constexpr REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

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
    for (int i = 0; i < 4; ++i) RegOverridePredefKey(PredefinedKey(i), views[i].get());
    HMODULE module =
        LoadLibraryExW(LongPath::ForFileApi(File).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
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
    if (result.How == Registration::Outcome::NoEntryPoint) return result;
    if (FAILED(hr)) {
        result.Number = static_cast<std::uint32_t>(hr);
        return result;
    }
    result.How = Registration::Outcome::Captured;
    ReadClasses(views[0].get(), L"CLSID", File, result.Classes);
    ReadClasses(views[1].get(), L"Software\\Classes\\CLSID", File, result.Classes);
    ReadClasses(views[2].get(), L"Software\\Classes\\CLSID", File, result.Classes);
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
        if (KeyExists(key, KEY_WOW64_64KEY) || KeyExists(key, KEY_WOW64_32KEY))
            existing.push_back(key);
    }
    return existing;
}

std::vector<std::wstring> RemoveNewKeys(const std::vector<std::wstring>& Keys,
                                        const std::vector<std::wstring>& Before,
                                        const std::wstring& File) {
    std::vector<std::wstring> notes;
    for (const std::wstring& key : Keys) {
        if (std::find(Before.begin(), Before.end(), key) != Before.end()) continue;
        const std::size_t slash = key.find(L'\\');
        bool removed = false;
        for (REGSAM view : kViews) {
            // The merged view may show the key from the machine's and the user's classes.
            for (int attempt = 0; attempt < 2 && KeyExists(key, view); ++attempt) {
                Key parent;
                if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.substr(0, slash).c_str(), 0,
                                  KEY_ALL_ACCESS | view, parent.put()) != ERROR_SUCCESS)
                    break;
                const std::wstring name = key.substr(slash + 1);
                RegDeleteTreeW(parent.get(), name.c_str());
                removed = RegDeleteKeyExW(parent.get(), name.c_str(), view, 0) == ERROR_SUCCESS ||
                          removed || !KeyExists(key, view);
            }
        }
        if (removed) {
            notes.push_back(L"Удалён раздел реестра HKEY_CLASSES_ROOT\\" + key +
                            L", созданный регистрацией компонента \"" + File + L"\".");
        }
    }
    return notes;
}

std::wstring NewScratchKey() {
    static unsigned counter = 0;
    return kScratchPrefix + std::to_wstring(GetCurrentProcessId()) + L"." +
           std::to_wstring(GetTickCount64()) + L"." + std::to_wstring(++counter);
}

void DeleteScratchKey(const std::wstring& ScratchKey) {
    RegDeleteTreeW(HKEY_CURRENT_USER, ScratchKey.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, ScratchKey.c_str());
}

void DeleteStaleScratchKeys() {
    const std::wstring prefix = std::wstring(kScratchPrefix).substr(9); // after "Software\"
    Key software;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software", 0, KEY_READ, software.put()) != ERROR_SUCCESS)
        return;
    std::vector<std::wstring> stale;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(software.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        const std::wstring key(name, length);
        if (key.compare(0, prefix.size(), prefix) != 0) continue;
        const auto pid = static_cast<DWORD>(std::wcstoul(key.c_str() + prefix.size(), nullptr, 10));
        // Another build still running owns its key.
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
        const bool running = process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
        if (process) CloseHandle(process);
        if (!running) stale.push_back(L"Software\\" + key);
    }
    for (const std::wstring& key : stale) DeleteScratchKey(key);
}

} // namespace ComRegistration
