// ComRegFixture.dll: an in-process COM server that registers itself as most third-party
// libraries do, through HKEY_CLASSES_ROOT and RegisterTypeLib. Its three classes are one counter
// object; each registers a different kind of entry (threading model, quoted expandable path, bare
// file name, control status), and VexHidden is missing from the type library.
// Built also as ComRegCrash.dll and ComRegHang.dll, whose DllRegisterServer crashes with an
// access violation or never returns, before anything is written (COMREG_CRASH, COMREG_HANG), and
// as ComRegHostile.dll, each copy of which misbehaves as the start of its file name says
// (COMREG_HOSTILE, see HostileStart), and as ComRegMix.dll (COMREG_MIX), whose ProgIDs the
// registry gives other classes than they name. Every counter tells its class through IPersist.
#include "ComRegFixtureIds.h"
#include "ComServer.h"

#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <new>
#include <string>

namespace {

HMODULE g_module = nullptr;

template <const CLSID* Id> class Counter final : public regfixture::IVexCounter, public IPersist {
  public:
    Counter() { InterlockedIncrement(&fixture::g_locks); }
    HRESULT Init() { return S_OK; }
    Counter(const Counter&) = delete;
    Counter& operator=(const Counter&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
        if (!out) return E_POINTER;
        if (riid == IID_IUnknown || riid == regfixture::IID_IVexCounter || riid == IID_IPersist) {
            *out = riid == IID_IPersist ? static_cast<void*>(static_cast<IPersist*>(this))
                                        : static_cast<regfixture::IVexCounter*>(this);
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

    HRESULT STDMETHODCALLTYPE Next(LONG* value) override {
        if (!value) return E_POINTER;
        *value = InterlockedIncrement(&count_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override { return *id = *Id, S_OK; }

  private:
    ~Counter() { InterlockedDecrement(&fixture::g_locks); }

    LONG refs_ = 1;
    LONG count_ = 0;
};

template <const CLSID* Id> fixture::Factory<Counter<Id>> g_factory;

// Macros, so that the keys below join them at compile time.
#define COUNTER_CLSID L"{87FC7B95-4E60-4EF8-827C-5A44C7CDC1B7}"
#define DIAL_CLSID L"{1067494F-FEA5-4829-9AA2-D7656837605C}"
#define HIDDEN_CLSID L"{D53F69C2-9FA1-4C08-9295-93C6BAC816C0}"
#define COUNTER_KEY L"CLSID\\" COUNTER_CLSID
#define DIAL_KEY L"CLSID\\" DIAL_CLSID
#define HIDDEN_KEY L"CLSID\\" HIDDEN_CLSID
#define FIRST_CLSID L"{54CEB7C9-36EC-4E60-A2EE-6251AA2D2FE7}"
#define SECOND_CLSID L"{8A97EAC2-A864-49BB-BD7F-EFC70DBA5BCF}"

HRESULT Write(const wchar_t* subkey, const wchar_t* name, DWORD type, const wchar_t* data) {
    HKEY key = nullptr;
    const bool user = std::wcsncmp(subkey, L"HKCU\\", 5) == 0;
    LONG error =
        RegCreateKeyExW(user ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT, subkey + (user ? 5 : 0), 0,
                        nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (error == ERROR_SUCCESS && data)
        error = RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(data),
                               static_cast<DWORD>((std::wcslen(data) + 1) * sizeof(wchar_t)));
    if (key) RegCloseKey(key);
    return HRESULT_FROM_WIN32(error);
}

// Whether this copy's file name starts with the word.
bool Named(const wchar_t* word) {
    wchar_t path[32768] = {};
    const DWORD n = GetModuleFileNameW(g_module, path, 32768);
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    const wchar_t* name = slash ? slash + 1 : path;
    return n != 0 && _wcsnicmp(name, word, std::wcslen(word)) == 0;
}

HRESULT Register() {
    wchar_t path[32768] = {};
    DWORD n = GetModuleFileNameW(g_module, path, 32768);
    if (n == 0 || n >= 32768) return E_FAIL;
    const wchar_t* slash = std::wcsrchr(path, L'\\');
    const wchar_t* bareName = slash ? slash + 1 : path;
    wchar_t quoted[32770] = {};
    std::swprintf(quoted, 32770, L"\"%ls\"", path);

    struct Value {
        const wchar_t* key;
        const wchar_t* name; // nullptr: the default value
        DWORD type;
        const wchar_t* data; // nullptr: the key alone
    };
    const Value values[] = {
#if defined(COMREG_MIX)
        // VexmorMix.Shared names the second class; VexmorMix.First has a CurVer alone; one key
        // ("HKCU\\...") under HKEY_CURRENT_USER.
        {L"CLSID\\" FIRST_CLSID L"\\InprocServer32", nullptr, REG_SZ, path},
        {L"CLSID\\" FIRST_CLSID L"\\ProgID", nullptr, REG_SZ, L"VexmorMix.First.1"},
        {L"CLSID\\" FIRST_CLSID L"\\VersionIndependentProgID", nullptr, REG_SZ,
         L"VexmorMix.Shared"},
        {L"VexmorMix.First.1\\CLSID", nullptr, REG_SZ, FIRST_CLSID},
        {L"VexmorMix.First\\CurVer", nullptr, REG_SZ, L"VexmorMix.First.1"},
        {L"HKCU\\Software\\Classes\\VexmorMix.Short\\CLSID", nullptr, REG_SZ, FIRST_CLSID},
        {L"CLSID\\" SECOND_CLSID L"\\InprocServer32", nullptr, REG_SZ, bareName},
        {L"CLSID\\" SECOND_CLSID L"\\ProgID", nullptr, REG_SZ, L"VexmorMix.Shared"},
        {L"CLSID\\" SECOND_CLSID L"\\VersionIndependentProgID", nullptr, REG_SZ, L"VexmorMix.Lost"},
        {L"VexmorMix.Shared\\CLSID", nullptr, REG_SZ, SECOND_CLSID},
#else
        {COUNTER_KEY, nullptr, REG_SZ, L"Vexmor counter"},
        {COUNTER_KEY L"\\InprocServer32", nullptr, REG_SZ, path},
        {COUNTER_KEY L"\\InprocServer32", L"ThreadingModel", REG_SZ, L"Both"},
        {COUNTER_KEY L"\\ProgID", nullptr, REG_SZ, L"VexmorReg.Counter.1"},
        {COUNTER_KEY L"\\VersionIndependentProgID", nullptr, REG_SZ, L"VexmorReg.Counter"},
        {L"VexmorReg.Counter.1\\CLSID", nullptr, REG_SZ, COUNTER_CLSID},
        {L"VexmorReg.Counter\\CLSID", nullptr, REG_SZ, COUNTER_CLSID},
        {L"VexmorReg.Counter\\CurVer", nullptr, REG_SZ, L"VexmorReg.Counter.1"},
        {DIAL_KEY L"\\InprocServer32", nullptr, REG_EXPAND_SZ, quoted},
        {DIAL_KEY L"\\InprocServer32", L"ThreadingModel", REG_SZ, L"Apartment"},
        {DIAL_KEY L"\\ProgID", nullptr, REG_SZ, L"VexmorReg.Dial.1"},
        {DIAL_KEY L"\\MiscStatus", nullptr, REG_SZ, L"0"},
        {DIAL_KEY L"\\MiscStatus\\1", nullptr, REG_SZ, L"131473"},
        {DIAL_KEY L"\\Control", nullptr, REG_SZ, nullptr},
        {L"VexmorReg.Dial.1\\CLSID", nullptr, REG_SZ, DIAL_CLSID},
        {HIDDEN_KEY L"\\InprocServer32", nullptr, REG_SZ, bareName},
        {HIDDEN_KEY L"\\ProgID", nullptr, REG_SZ, L"VexmorReg.Hidden"},
        {L"VexmorReg.Hidden\\CLSID", nullptr, REG_SZ, HIDDEN_CLSID},
#endif
    };
    for (const Value& value : values) {
        HRESULT hr = Write(value.key, value.name, value.type, value.data);
        if (FAILED(hr)) return hr;
    }

    if (Named(L"Loader")) {
        // The type library registered by another library, loaded only now.
        const std::wstring helperName =
            std::wstring(path, static_cast<std::size_t>(bareName - path)) + L"ComRegHelper.dll";
        HMODULE helper = LoadLibraryW(helperName.c_str());
        using Entry = HRESULT(STDAPICALLTYPE*)(const wchar_t*);
        const auto registerLibrary = reinterpret_cast<Entry>(reinterpret_cast<void (*)()>(
            helper ? GetProcAddress(helper, "RegisterLibrary") : nullptr));
        return registerLibrary ? registerLibrary(path) : E_FAIL;
    }
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, &lib);
    if (FAILED(hr)) return hr;
    hr = RegisterTypeLib(lib, path, nullptr);
    lib->Release();
    return hr;
}

#if defined(COMREG_HOSTILE)
DWORD WINAPI CrashLater(void*) {
    Sleep(300);
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
    return 0;
}

// What the hostile copies do before they register, as their names say.
HRESULT HostileStart() {
    if (Named(L"Grandchild")) {
        // A program that never ends, started as system() would, with every inheritable handle.
        wchar_t self[32768] = {};
        GetModuleFileNameW(g_module, self, 32768);
        std::wstring line = L"rundll32.exe \"" + std::wstring(self) + L"\",VexSleep";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                            &startup, &process))
            return HRESULT_FROM_WIN32(GetLastError());
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (Named(L"Stdout")) {
        std::printf("Registered OK\n");
        std::fflush(stdout);
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "Registered OK\r\n", 15, &written, nullptr);
    }
    if (Named(L"Slow")) Sleep(1200);
    if (Named(L"Hang")) Sleep(INFINITE);
    if (Named(L"LateCrash")) {
        if (HANDLE thread = CreateThread(nullptr, 0, CrashLater, nullptr, 0, nullptr))
            CloseHandle(thread);
    }
    if (Named(L"NeedsCom")) {
        // As components that create their registrar through COM.
        IUnknown* table = nullptr;
        const HRESULT hr =
            CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IUnknown, reinterpret_cast<void**>(&table));
        if (FAILED(hr)) return hr;
        table->Release();
    }
    return S_OK;
}
#endif

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
#define SERVE(id)                                                                                  \
    if (clsid == regfixture::id) return g_factory<&regfixture::id>.QueryInterface(riid, out)
    SERVE(CLSID_VexCounter);
    SERVE(CLSID_VexDial);
    SERVE(CLSID_VexHidden);
    SERVE(CLSID_VexFirst);
    SERVE(CLSID_VexSecond);
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return fixture::g_locks == 0 ? S_OK : S_FALSE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
#if defined(COMREG_CRASH)
    // The compiler cannot see that the pointer is null: the write itself must fault.
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
#elif defined(COMREG_HANG)
    Sleep(INFINITE);
#elif defined(COMREG_HOSTILE)
    if (const HRESULT hr = HostileStart(); FAILED(hr)) return hr;
#endif
    return Register();
}

// For rundll32: a program that never ends.
extern "C" void CALLBACK VexSleep(HWND, HINSTANCE, LPSTR, int) {
    Sleep(INFINITE);
}
