#include "platform/LocalTime.h"

#include <windows.h>

namespace platform {
namespace {

// One of the two GetXxxFormatW calls for the current moment; empty when it fails.
template <typename Format>
std::wstring Formatted(Format format, const SYSTEMTIME& now, DWORD flags) {
    int size = format(LOCALE_USER_DEFAULT, flags, &now, nullptr, nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring text(static_cast<size_t>(size), L'\0');
    size = format(LOCALE_USER_DEFAULT, flags, &now, nullptr, text.data(), size);
    text.resize(size > 0 ? static_cast<size_t>(size - 1) : 0);
    return text;
}

} // namespace

std::wstring LocalDateTimeText() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return Formatted(GetDateFormatW, now, DATE_SHORTDATE) + L" " +
           Formatted(GetTimeFormatW, now, 0);
}

} // namespace platform
