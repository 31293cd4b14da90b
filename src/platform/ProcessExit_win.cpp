#include "platform/ProcessExit.h"

#include <windows.h>

namespace platform {

void EndProcess(std::uint32_t exitCode) {
    ::ExitProcess(exitCode);
}

} // namespace platform
