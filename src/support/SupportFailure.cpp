#include "support/SupportFailure.h"

#include <string>

namespace SupportFailure {

AppError Make(std::int32_t status, std::wstring_view library, std::wstring_view operation,
              std::wstring_view systemText) {
    std::wstring description = L"Сбой операции ";
    description += operation;
    description += L" вспомогательной библиотеки ";
    description += library;
    description += L'.';
    if (!systemText.empty()) {
        description += L' ';
        description += systemText;
    }
    return AppError(static_cast<std::uint32_t>(status), std::move(description));
}

} // namespace SupportFailure
