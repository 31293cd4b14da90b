#include "platform/ManifestResource.h"

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
    // As data only: nothing of the program runs, and a program of another architecture loads too.
    HMODULE module = LoadLibraryExW(fileName.c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) return Failed(error);
    // A file without manifests answers "not found", which is no failure.
    EnumResourceLanguagesW(module, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), AddLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    FreeLibrary(module);
    if (error) *error = 0;
    return true;
}

bool Update(const std::wstring& fileName, const std::string& bytes,
            const std::vector<std::uint16_t>& languages, std::uint32_t* error) {
    HANDLE update = BeginUpdateResourceW(fileName.c_str(), FALSE);
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
