// The platform's error descriptions as the user should read them.
#pragma once

#include <string>

namespace ErrorText {

// The description with its insert filled: the system's texts for file errors name the file
// as "%1" ("%1 is not a valid Win32 application."), which must never reach the user bare.
inline std::wstring WithFileName(std::wstring description, const std::wstring& fileName) {
    const std::wstring insert = L"%1";
    for (size_t at = description.find(insert); at != std::wstring::npos;
         at = description.find(insert, at + fileName.size())) {
        description.replace(at, insert.size(), fileName);
    }
    return description;
}

} // namespace ErrorText
