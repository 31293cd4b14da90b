#include "platform/AnsiFile.h"

#include <windows.h>

namespace platform {

std::string ToAnsi(const std::wstring& text, bool* exact) {
    if (exact) *exact = true;
    if (text.empty()) return std::string();
    // No best fit: a letter the code page lacks becomes its default character, never a
    // look-alike that would read as something else.
    BOOL usedDefault = FALSE;
    int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                                   static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                        bytes.data(), size, nullptr, exact ? &usedDefault : nullptr);
    if (exact) *exact = usedDefault == FALSE;
    return bytes;
}

std::wstring FromAnsi(const std::string& bytes) {
    if (bytes.empty()) return std::wstring();
    int size =
        MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(), size);
    return text;
}

bool ReadWholeFile(const std::wstring& fileName, std::string& bytes) {
    bytes.clear();
    // Others may go on reading and writing the file while we read it; we never lock it.
    HANDLE file = CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || size.QuadPart > 0x7FFFFFFF) {
        ok = false;
    } else {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        size_t done = 0;
        while (ok && done < bytes.size()) {
            DWORD got = 0;
            if (!ReadFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got,
                          nullptr) ||
                got == 0) {
                ok = false;
            }
            done += got;
        }
    }
    if (!CloseHandle(file)) ok = false;
    if (!ok) bytes.clear();
    return ok;
}

bool ReplaceFileContent(const std::wstring& fileName, const std::string& bytes,
                        std::uint32_t* error) {
    DWORD failure = ERROR_SUCCESS;
    auto fail = [&failure](DWORD code) {
        if (failure == ERROR_SUCCESS) failure = code != ERROR_SUCCESS ? code : ERROR_WRITE_FAULT;
    };
    size_t slash = fileName.find_last_of(L"\\/");
    std::wstring folder =
        slash == std::wstring::npos ? std::wstring(L".") : fileName.substr(0, slash + 1);
    wchar_t temp[MAX_PATH + 1] = {};
    // The temporary file sits beside the target so that the final move stays on one volume.
    if (folder.size() > MAX_PATH - 14) {
        fail(ERROR_FILENAME_EXCED_RANGE);
    } else if (!GetTempFileNameW(folder.c_str(), L"vxl", 0, temp)) {
        fail(GetLastError());
    }
    if (failure != ERROR_SUCCESS) {
        if (error) *error = failure;
        return false;
    }
    HANDLE file =
        CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) fail(GetLastError());
    size_t done = 0;
    while (failure == ERROR_SUCCESS && done < bytes.size()) {
        DWORD wrote = 0;
        if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &wrote,
                       nullptr) ||
            wrote == 0) {
            fail(GetLastError());
        }
        done += wrote;
    }
    if (file != INVALID_HANDLE_VALUE && !CloseHandle(file)) fail(GetLastError());
    if (failure == ERROR_SUCCESS &&
        !MoveFileExW(temp, fileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        fail(GetLastError());
    }
    if (failure != ERROR_SUCCESS) DeleteFileW(temp);
    if (error) *error = failure;
    return failure == ERROR_SUCCESS;
}

} // namespace platform
