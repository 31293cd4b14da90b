#include "platform/ProcessArguments.h"

namespace platform {

std::wstring ArgumentText(const std::wstring& commandLine) {
    // The program's name ends at the closing quote when it is quoted, else at the first blank
    // or tab: the rule Windows itself uses for argument zero.
    size_t pos = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        size_t close = commandLine.find(L'"', 1);
        pos = close == std::wstring::npos ? commandLine.size() : close + 1;
    } else {
        pos = commandLine.find_first_of(L" \t");
        if (pos == std::wstring::npos) pos = commandLine.size();
    }
    while (pos < commandLine.size() && (commandLine[pos] == L' ' || commandLine[pos] == L'\t')) {
        ++pos;
    }
    return commandLine.substr(pos);
}

} // namespace platform
