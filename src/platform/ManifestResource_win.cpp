#include "platform/ManifestResource.h"

#include "common/LongPath.h"

#include <windows.h>

namespace ManifestResource {
namespace {

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) {
    reinterpret_cast<std::vector<std::uint16_t>*>(list)->push_back(language);
    return TRUE;
}

bool Failed(std::uint32_t* error) {
    const DWORD code = GetLastError();
    if (error) *error = code != ERROR_SUCCESS ? code : ERROR_INVALID_DATA;
    return false;
}

} // namespace

bool Languages(const std::wstring& fileName, std::vector<std::uint16_t>& languages,
               std::uint32_t* error) {
    languages.clear();
    // Mapped as an image by hand, as a resource-only module is: nothing of the program runs, a
    // program of another architecture maps too, and unlike LoadLibraryExW, which stops at
    // MAX_PATH, the file is opened by the long form of its name.
    HANDLE file = CreateFileW(LongPath::ForFileApi(fileName).c_str(),
                              GENERIC_READ | GENERIC_EXECUTE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Failed(error);
    DWORD failure = ERROR_SUCCESS;
    HANDLE section = CreateFileMappingW(file, nullptr, PAGE_READONLY | SEC_IMAGE, 0, 0, nullptr);
    if (!section) failure = GetLastError(); // not a program: ERROR_BAD_EXE_FORMAT
    CloseHandle(file);
    void* view = section ? MapViewOfFile(section, FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (section && !view) failure = GetLastError();
    if (view) {
        // A file without manifests answers "not found", which is no failure.
        EnumResourceLanguagesW(static_cast<HMODULE>(view), MAKEINTRESOURCEW(24),
                               MAKEINTRESOURCEW(1), AddLanguage,
                               reinterpret_cast<LONG_PTR>(&languages));
        UnmapViewOfFile(view);
    } else if (failure == ERROR_SUCCESS) {
        failure = ERROR_INVALID_DATA;
    }
    if (section) CloseHandle(section);
    if (error) *error = failure;
    return view != nullptr;
}

bool Update(const std::wstring& fileName, const std::string& bytes,
            const std::vector<std::uint16_t>& languages, std::uint32_t* error) {
    HANDLE update = BeginUpdateResourceW(LongPath::ForFileApi(fileName).c_str(), FALSE);
    if (!update) return Failed(error);
    for (std::uint16_t language : languages) {
        if (!UpdateResourceW(update, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), language,
                             const_cast<char*>(bytes.data()), static_cast<DWORD>(bytes.size()))) {
            const bool failed = Failed(error);
            EndUpdateResourceW(update, TRUE); // discards everything
            return failed;
        }
    }
    if (!EndUpdateResourceW(update, FALSE)) return Failed(error);
    if (error) *error = 0;
    return true;
}

} // namespace ManifestResource
