#include "platform/AnsiFile.h"

#include "common/LongPath.h"
#include "platform/CodePage.h"
#include "support/AppError.h"
#include "support/QZVSP0100A.h"

#include <windows.h>

#include <cwchar>

namespace platform {

namespace {

// The platform's failure as the program's error: its code, and what went wrong in words.
[[noreturn]] void ThrowConversionFailure(const wchar_t* what, UINT codePage) {
    DWORD code = GetLastError();
    if (code == ERROR_SUCCESS) code = ERROR_NO_UNICODE_TRANSLATION;
    throw AppError(code, std::wstring(what) + L" (" + std::to_wstring(codePage) + L"). " +
                             QZVSP0100A::GetAPIErrorDescription(code));
}

std::wstring Decode(UINT codePage, const std::string& bytes) {
    if (bytes.empty()) return std::wstring();
    // No flags: UTF-8, UTF-7 and the stateful code pages take none, and no other one needs any.
    const int size =
        MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    const wchar_t* failure = L"Не удалось перевести текст из кодовой страницы ANSI";
    // Checked before anything else runs, so that the platform's error code is still this one.
    if (size <= 0) ThrowConversionFailure(failure, codePage);
    std::wstring text(static_cast<size_t>(size), L'\0');
    if (MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                            size) != size) {
        ThrowConversionFailure(failure, codePage);
    }
    return text;
}

std::string Encode(UINT codePage, const std::wstring& text, bool* exact, const wchar_t* failure) {
    if (exact) *exact = true;
    if (text.empty()) return std::string();
    const CodePage::ToMultiByteCall call = CodePage::ToMultiByteFor(codePage);
    BOOL usedDefault = FALSE;
    BOOL* report = call.UsesDefaultChar && exact ? &usedDefault : nullptr;
    const int size =
        WideCharToMultiByte(codePage, call.Flags, text.data(), static_cast<int>(text.size()),
                            nullptr, 0, nullptr, nullptr);
    if (size <= 0) ThrowConversionFailure(failure, codePage);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(codePage, call.Flags, text.data(), static_cast<int>(text.size()),
                            bytes.data(), size, nullptr, report) != size) {
        ThrowConversionFailure(failure, codePage);
    }
    if (exact) {
        switch (call.Check) {
        case CodePage::Exactness::UsedDefault:
            *exact = usedDefault == FALSE;
            break;
        case CodePage::Exactness::RoundTrip:
            *exact = Decode(codePage, bytes) == text;
            break;
        case CodePage::Exactness::LoneSurrogates:
            *exact = !CodePage::HasLoneSurrogate(text);
            break;
        }
    }
    return bytes;
}

} // namespace

std::string ToAnsi(const std::wstring& text, bool* exact) {
    return Encode(GetACP(), text, exact, L"Не удалось перевести текст в кодовую страницу ANSI");
}

std::string ToCodePage(const std::wstring& text, std::uint32_t codePage, bool* exact) {
    return Encode(codePage, text, exact, L"Не удалось перевести текст в кодовую страницу");
}

std::wstring FromAnsi(const std::string& bytes) {
    return Decode(GetACP(), bytes);
}

bool ReadWholeFile(const std::wstring& fileName, std::string& bytes, std::uint32_t* error) {
    bytes.clear();
    // Others may go on reading and writing the file while we read it; we never lock it.
    HANDLE file = CreateFileW(LongPath::ForFileApi(fileName).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (error) *error = GetLastError();
        return false;
    }
    DWORD failure = ERROR_SUCCESS;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        failure = GetLastError();
    } else if (size.QuadPart > 0x7FFFFFFF) {
        failure = ERROR_FILE_TOO_LARGE;
    } else {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        size_t done = 0;
        while (failure == ERROR_SUCCESS && done < bytes.size()) {
            DWORD got = 0;
            if (!ReadFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got,
                          nullptr)) {
                failure = GetLastError();
            } else if (got == 0) {
                failure = ERROR_HANDLE_EOF;
            }
            done += got;
        }
    }
    if (!CloseHandle(file) && failure == ERROR_SUCCESS) failure = GetLastError();
    if (failure != ERROR_SUCCESS) bytes.clear();
    if (error) *error = failure;
    return failure == ERROR_SUCCESS;
}

namespace {

// A new file of a name nobody has yet, in that folder: prefix, a number, suffix.
HANDLE CreateUniqueFile(const std::wstring& folder, const std::wstring& prefix,
                        const std::wstring& suffix, std::wstring& name, DWORD& error) {
    static unsigned counter = 0;
    const unsigned seed = GetCurrentProcessId() * 2654435761u ^ GetTickCount();
    std::wstring base = folder;
    if (!base.empty() && base.back() != L'\\' && base.back() != L'/') base += L'\\';
    for (int attempt = 0; attempt < 1000; ++attempt) {
        wchar_t number[16];
        swprintf(number, 16, L"%08X", seed + ++counter);
        name = base + prefix + number + suffix;
        HANDLE file = CreateFileW(LongPath::ForFileApi(name).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    name.clear();
    return INVALID_HANDLE_VALUE;
}

// Writes all bytes and closes the file; the first failure's code, or 0.
DWORD WriteAndClose(HANDLE file, const std::string& bytes) {
    DWORD failure = ERROR_SUCCESS;
    size_t done = 0;
    while (failure == ERROR_SUCCESS && done < bytes.size()) {
        DWORD wrote = 0;
        if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &wrote,
                       nullptr)) {
            failure = GetLastError();
        } else if (wrote == 0) {
            failure = ERROR_WRITE_FAULT;
        }
        done += wrote;
    }
    if (!CloseHandle(file) && failure == ERROR_SUCCESS) failure = GetLastError();
    return failure;
}

// A file held open by another program refuses to be replaced with "access denied" on some
// systems; whether it is in use is what the user needs to know, so ask the file itself.
DWORD ReplaceFailure(const std::wstring& fileName, DWORD error) {
    if (error != ERROR_ACCESS_DENIED) return error;
    HANDLE file = CreateFileW(LongPath::ForFileApi(fileName).c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return error;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION ? ERROR_SHARING_VIOLATION : error;
}

DWORD Known(DWORD error) {
    return error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT;
}

std::wstring FolderOf(const std::wstring& fileName) {
    size_t slash = fileName.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring(L".") : fileName.substr(0, slash + 1);
}

} // namespace

bool ReplaceFileWith(const std::wstring& fileName, const std::wstring& replacement,
                     std::uint32_t* error) {
    DWORD failure = ERROR_SUCCESS;
    const std::wstring longReplacement = LongPath::ForFileApi(replacement);
    if (!MoveFileExW(longReplacement.c_str(), LongPath::ForFileApi(fileName).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        failure = Known(ReplaceFailure(fileName, GetLastError()));
        DeleteFileW(longReplacement.c_str());
    }
    if (error) *error = failure;
    return failure == ERROR_SUCCESS;
}

bool ReplaceFileContent(const std::wstring& fileName, const std::string& bytes,
                        std::uint32_t* error) {
    // The temporary file sits beside the target so that the final move stays on one volume.
    std::wstring temp;
    DWORD failure = ERROR_SUCCESS;
    HANDLE file = CreateUniqueFile(FolderOf(fileName), L"vxl", L".tmp", temp, failure);
    if (file == INVALID_HANDLE_VALUE) {
        if (error) *error = Known(failure);
        return false;
    }
    failure = WriteAndClose(file, bytes);
    if (failure != ERROR_SUCCESS) {
        DeleteFileW(LongPath::ForFileApi(temp).c_str());
        if (error) *error = failure;
        return false;
    }
    return ReplaceFileWith(fileName, temp, error);
}

bool CopyBeside(const std::wstring& fileName, std::wstring& copyName, std::uint32_t* error) {
    DWORD failure = ERROR_SUCCESS;
    HANDLE file = CreateUniqueFile(FolderOf(fileName), L"vxl", L".tmp", copyName, failure);
    if (file == INVALID_HANDLE_VALUE) {
        if (error) *error = Known(failure);
        return false;
    }
    CloseHandle(file);
    const std::wstring longCopy = LongPath::ForFileApi(copyName);
    if (!CopyFileW(LongPath::ForFileApi(fileName).c_str(), longCopy.c_str(), FALSE)) {
        failure = Known(GetLastError());
        DeleteFileW(longCopy.c_str());
        copyName.clear();
    }
    if (error) *error = failure;
    return failure == ERROR_SUCCESS;
}

bool WriteNewFile(const std::wstring& folder, const std::wstring& prefix,
                  const std::wstring& suffix, const std::string& bytes, std::wstring& fileName,
                  std::uint32_t* error) {
    DWORD failure = ERROR_SUCCESS;
    HANDLE file = CreateUniqueFile(folder, prefix, suffix, fileName, failure);
    if (file == INVALID_HANDLE_VALUE) {
        if (error) *error = Known(failure);
        return false;
    }
    failure = WriteAndClose(file, bytes);
    if (failure != ERROR_SUCCESS) {
        DeleteFileW(LongPath::ForFileApi(fileName).c_str());
        fileName.clear();
    }
    if (error) *error = failure;
    return failure == ERROR_SUCCESS;
}

void RemoveFile(const std::wstring& fileName) {
    DeleteFileW(LongPath::ForFileApi(fileName).c_str());
}

} // namespace platform
