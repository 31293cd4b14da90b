// QZVSP0100B.DLL: the C boundary over the file-name operations, plus the host queries.
#include "QZVSP0100B/QZVSP0100B_api.h"

#include "QZVSP0100B/PathOps.h"
#include "common/DllBoundary.h"
#include "common/LongPath.h"
#include "common/ModulePath.h"

#include <string>
#include <vector>

using DllBoundary::Deliver;
using DllBoundary::Flag;
using DllBoundary::LastErrorStatus;
using DllBoundary::Run;
using DllBoundary::View;

namespace {

// The program calls the library from its one thread, so these need no lock.
std::wstring& RegisteredAppPath() {
    static std::wstring path;
    return path;
}
HWND g_mainWindow = nullptr;

const wchar_t kMainWindowClass[] = L"VexmorLinkMainWindow";

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

// The class belongs to this library, which holds the window procedure.
HINSTANCE ThisModule() {
    static const char anchor = 0;
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&anchor), &module);
    return module;
}

HRESULT CreateMainWindow(HWND& window) {
    HINSTANCE module = ThisModule();
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = module;
    windowClass.lpszClassName = kMainWindowClass;
    if (!RegisterClassExW(&windowClass) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
        return LastErrorStatus();
    }
    // A message-only window: never shown, and out of reach of broadcasts. Our thread pumps no
    // messages while the linker or a script runs, so a top-level window would keep every
    // program that broadcasts with SendMessage waiting for the whole link.
    window = CreateWindowExW(0, kMainWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module,
                             nullptr);
    return window ? S_OK : LastErrorStatus();
}

// Errors that only say the name leads nowhere: the answer is "no such file", not a failure.
bool IsMissingPathError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_NOT_READY:
    case ERROR_DIRECTORY:
    case ERROR_FILENAME_EXCED_RANGE:
        return true;
    default:
        return false;
    }
}

HRESULT FullPathName(const std::wstring& name, std::wstring& full) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length = GetFullPathNameW(name.c_str(), static_cast<DWORD>(buffer.size()),
                                        buffer.data(), nullptr);
        if (length == 0) return LastErrorStatus();
        if (length < buffer.size()) {
            full.assign(buffer.data(), length);
            return S_OK;
        }
        buffer.resize(length);
    }
}

HRESULT HostPlatform(DWORD& platformId) {
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof(info);
#ifdef _MSC_VER
#pragma warning(suppress : 4996) // only the platform id is read, which no shim alters
#endif
    if (!GetVersionExW(&info)) return LastErrorStatus();
    platformId = info.dwPlatformId;
    return S_OK;
}

std::wstring EnvironmentValue(const wchar_t* name) {
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return std::wstring();
    std::wstring value(size, L'\0');
    size = GetEnvironmentVariableW(name, value.data(), size);
    value.resize(size < value.size() ? size : 0);
    return value;
}

// The folder for temporary files. The platform's own answer stops at 260 characters (under Wine
// it fails beyond), so a longer one is taken where the platform takes it from: TMP, TEMP,
// USERPROFILE, then the Windows folder.
std::wstring TempFolder() {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
        if (length == 0) break;
        if (length < buffer.size()) return std::wstring(buffer.data(), length);
        buffer.resize(length + 1);
    }
    for (const wchar_t* name : {L"TMP", L"TEMP", L"USERPROFILE"}) {
        std::wstring value = EnvironmentValue(name);
        if (!value.empty()) {
            DWORD size = GetFullPathNameW(value.c_str(), 0, nullptr, nullptr);
            std::wstring full(size, L'\0');
            if (size != 0) size = GetFullPathNameW(value.c_str(), size, full.data(), nullptr);
            return size != 0 && size < full.size() ? full.substr(0, size) : value;
        }
    }
    wchar_t windows[MAX_PATH + 1] = {};
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH + 1);
    return length != 0 && length <= MAX_PATH ? std::wstring(windows, length) : std::wstring();
}

} // namespace

extern "C" {

HRESULT WINAPI RegisterAppPath(VARIANT_BOOL* registered) {
    return Run(registered, [&]() -> HRESULT {
        const std::wstring path = ModulePath::Of(nullptr);
        if (path.empty()) return LastErrorStatus();
        RegisteredAppPath() = path;
        *registered = VARIANT_TRUE;
        return S_OK;
    });
}

HRESULT WINAPI IsInIDE(VARIANT_BOOL* result) {
    return Run(result, [&] {
        // Only the unbuilt program runs inside its development environment; a built one never
        // does, whatever debugger, profiler or crash reporter is attached to it.
        *result = VARIANT_FALSE;
        return S_OK;
    });
}

HRESULT WINAPI GetMainWindowHandle(HWND* window) {
    return Run(window, [&]() -> HRESULT {
        if (!g_mainWindow || !IsWindow(g_mainWindow)) {
            HWND created = nullptr;
            HRESULT status = CreateMainWindow(created);
            if (FAILED(status)) return status;
            g_mainWindow = created;
        }
        *window = g_mainWindow;
        return S_OK;
    });
}

HRESULT WINAPI IsFileExist(BSTR fileName, VARIANT_BOOL* result) {
    return Run(result, [&]() -> HRESULT {
        std::wstring name(View(fileName));
        if (name.empty() || name.find(L'\0') != std::wstring::npos) return S_OK;
        name = LongPath::ForFileApi(name);
        DWORD attributes = GetFileAttributesW(name.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            if (IsMissingPathError(GetLastError()) ||
                name.find_first_of(L"*?") != std::wstring::npos) {
                return S_OK;
            }
            // A file that is there but cannot be asked (locked, no access to it) still shows in
            // its folder's listing. Whatever else goes wrong means "not there": a question about
            // a file must never stop a build.
            WIN32_FIND_DATAW found;
            HANDLE search = FindFirstFileW(name.c_str(), &found);
            if (search == INVALID_HANDLE_VALUE) return S_OK;
            FindClose(search);
            attributes = found.dwFileAttributes;
        }
        *result = Flag((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0);
        return S_OK;
    });
}

HRESULT WINAPI ReplaceFileExtension(BSTR fileName, BSTR newExtension, BSTR* result) {
    return Run(result, [&] {
        return Deliver(PathOps::ReplaceFileExtension(View(fileName), View(newExtension)), result);
    });
}

HRESULT WINAPI GetFileExtension(BSTR fileName, BSTR* result) {
    return Run(result, [&] { return Deliver(PathOps::GetFileExtension(View(fileName)), result); });
}

HRESULT WINAPI GetFileName(BSTR path, VARIANT_BOOL withoutExtension, BSTR* result) {
    return Run(result, [&] {
        return Deliver(PathOps::GetFileName(View(path), Flag(withoutExtension)), result);
    });
}

HRESULT WINAPI GetFilePath(BSTR fileName, BSTR* result) {
    return Run(result, [&] { return Deliver(PathOps::GetFilePath(View(fileName)), result); });
}

HRESULT WINAPI GetAbsoluteFileName(BSTR fileName, BSTR baseFolder, BSTR* result) {
    return Run(result, [&]() -> HRESULT {
        std::wstring base(View(baseFolder));
        if (!PathOps::IsAbsolute(View(fileName)) && !PathOps::IsAbsolute(base)) {
            // An empty base means the current folder itself.
            HRESULT status = FullPathName(base.empty() ? L"." : base, base);
            if (FAILED(status)) return status;
        }
        return Deliver(PathOps::GetAbsoluteFileName(View(fileName), base), result);
    });
}

HRESULT WINAPI GetTempFolder(BSTR* result) {
    return Run(result, [&]() -> HRESULT {
        std::wstring folder = TempFolder();
        if (folder.empty()) return LastErrorStatus();
        if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
        return Deliver(folder, result);
    });
}

HRESULT WINAPI BuildFileName(BSTR folder, BSTR fileName, VARIANT_BOOL quote, BSTR* result) {
    return Run(result, [&] {
        return Deliver(PathOps::BuildFileName(View(folder), View(fileName), Flag(quote)), result);
    });
}

HRESULT WINAPI BuildFileName2(BSTR folder, BSTR fileName, BSTR part3, BSTR part4, BSTR part5,
                              BSTR part6, BSTR part7, BSTR part8, BSTR part9, BSTR* result) {
    return Run(result, [&] {
        return Deliver(PathOps::BuildFileName2({View(folder), View(fileName), View(part3),
                                                View(part4), View(part5), View(part6), View(part7),
                                                View(part8), View(part9)}),
                       result);
    });
}

HRESULT WINAPI IsHostWinNT(VARIANT_BOOL* result) {
    return Run(result, [&] {
        DWORD platform = 0;
        HRESULT status = HostPlatform(platform);
        if (SUCCEEDED(status)) *result = Flag(platform == VER_PLATFORM_WIN32_NT);
        return status;
    });
}

HRESULT WINAPI IsHostWin9x(VARIANT_BOOL* result) {
    return Run(result, [&] {
        DWORD platform = 0;
        HRESULT status = HostPlatform(platform);
        if (SUCCEEDED(status)) *result = Flag(platform == VER_PLATFORM_WIN32_WINDOWS);
        return status;
    });
}

HRESULT WINAPI HiWord(DWORD value, WORD* result) {
    return Run(result, [&] {
        *result = PathOps::HiWord(value);
        return S_OK;
    });
}

HRESULT WINAPI LoWord(DWORD value, WORD* result) {
    return Run(result, [&] {
        *result = PathOps::LoWord(value);
        return S_OK;
    });
}

HRESULT WINAPI Hex2(WORD value, BSTR* result) {
    return Run(result, [&] { return Deliver(PathOps::Hex2(value), result); });
}

} // extern "C"
