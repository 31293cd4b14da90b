// The current local date and time as the user has chosen to see them.
#pragma once

#include <string>

namespace platform {

// The user's short date format, a blank, the user's long time format.
std::wstring LocalDateTimeText();

} // namespace platform
