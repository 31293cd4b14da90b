// The end of the process with the exit code the development environment reads.
#pragma once

#include <cstdint>

namespace platform {

// Ends the process at once with that exit code.
[[noreturn]] void EndProcess(std::uint32_t exitCode);

} // namespace platform
