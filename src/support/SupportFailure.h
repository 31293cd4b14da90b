// The error a support-library wrapper raises when an operation reports failure.
#pragma once

#include "support/AppError.h"

#include <cstdint>
#include <string_view>

namespace SupportFailure {

// The library's status becomes the error number. The description names the operation and the
// library and, where the system has one, adds its text for the status.
AppError Make(std::int32_t status, std::wstring_view library, std::wstring_view operation,
              std::wstring_view systemText = {});

inline constexpr std::int32_t kPointerStatus = static_cast<std::int32_t>(0x80004003u); // E_POINTER

} // namespace SupportFailure
