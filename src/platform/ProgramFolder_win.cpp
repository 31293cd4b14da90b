#include "platform/ProgramFolder.h"

#include "common/ModulePath.h"

namespace platform {

std::wstring ProgramFolder() {
    const std::wstring path = ModulePath::Of(nullptr);
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

} // namespace platform
