#include "platform/ImageChecksum.h"

#include <windows.h>

namespace ImageChecksum {
namespace {

using CheckSumMappedFileFn = PIMAGE_NT_HEADERS(WINAPI*)(PVOID, DWORD, PDWORD, PDWORD);

// imagehlp from the system folder, and only for a build that needs it: no other build loads it,
// and no file of that name in the output's or the current folder is ever taken for it.
CheckSumMappedFileFn Routine(DWORD& error) {
    static CheckSumMappedFileFn routine = nullptr;
    if (routine) return routine;
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        error = GetLastError();
        return nullptr;
    }
    HMODULE module = LoadLibraryW((std::wstring(folder, length) + L"\\imagehlp.dll").c_str());
    if (module)
        routine = reinterpret_cast<CheckSumMappedFileFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "CheckSumMappedFile")));
    if (!routine) error = GetLastError();
    return routine;
}

} // namespace

bool Compute(const std::string& bytes, std::uint32_t& sum, std::uint32_t* error) {
    DWORD failure = ERROR_SUCCESS;
    CheckSumMappedFileFn routine = Routine(failure);
    DWORD stored = 0, computed = 0;
    if (routine) {
        SetLastError(ERROR_SUCCESS);
        if (routine(const_cast<char*>(bytes.data()), static_cast<DWORD>(bytes.size()), &stored,
                    &computed)) {
            sum = computed;
            if (error) *error = 0;
            return true;
        }
        failure = GetLastError();
    }
    if (error) *error = failure != ERROR_SUCCESS ? failure : ERROR_BAD_EXE_FORMAT;
    return false;
}

} // namespace ImageChecksum
