// The platform's error descriptions as the user should read them.
#pragma once

#include "support/AppError.h"
#include "support/QZVSP0100A.h"

#include <cstdint>
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

// The message of a post-link step that failed on a file: the file, what went wrong, and the
// error's number and description.
inline std::wstring StepFailure(const std::wstring& fileName, const std::wstring& what,
                                std::uint32_t number, const std::wstring& description) {
    std::wstring shownNumber;
    try {
        shownNumber = QZVSP0100A::GetErrorNumber(static_cast<std::int32_t>(number));
    } catch (const AppError&) {
        shownNumber = std::to_wstring(number);
    }
    return fileName + L"\r\n\r\n" + what + L"\r\n\r\nError number: " + shownNumber +
           L"\r\nDescription:  " + WithFileName(description, fileName);
}

} // namespace ErrorText
