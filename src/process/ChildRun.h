// Runs a helper child process to its end and collects what it writes to its standard output,
// for work that must not be able to take the program down with it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace ChildRun {

enum class Ending {
    Exited,     // ExitCode holds its exit code
    TimedOut,   // killed after the time limit
    NotStarted, // LastError holds the reason
};

struct Result {
    Ending How = Ending::NotStarted;
    std::uint32_t ExitCode = 0;
    std::uint32_t LastError = 0;
    std::string Output;
};

// Starts the command line that CommandLineFor makes from the value of the pipe handle the child
// gets as its standard output, reads that pipe while waiting (so a big output cannot block the
// child), and kills the child when it is still running after TimeoutMs.
Result Run(const std::function<std::wstring(std::uintptr_t outputHandle)>& CommandLineFor,
           std::uint32_t TimeoutMs);

} // namespace ChildRun
