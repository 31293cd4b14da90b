// A helper child process for work that runs code nobody here controls, such as the platform's
// reader on a broken type library or a component's registration: whatever that code does (crash,
// hang, start programs of its own, write to its standard handles), the program goes on.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace ChildRun {

// The exit code of a child that End stopped while it was still running.
inline constexpr std::uint32_t kEndedCode = 0x5B4; // ERROR_TIMEOUT

class Child {
  public:
    // The values of the two handles a child gets: its end of a duplex pipe to this process, and
    // this process, by which it can end itself when this process is gone.
    struct Handles {
        std::uintptr_t Pipe = 0;
        std::uintptr_t Parent = 0;
    };

    // Starts the command line that CommandLineFor makes from the handles' values. The child
    // inherits those two handles and nothing else (its standard handles are the null device), and
    // runs in a job of its own that ends it and every process it starts when End closes the job
    // or the platform ends this process. Where the platform refuses the job, End ends them by the
    // process tree. Null when it could not be started, with the reason in LastError.
    static std::unique_ptr<Child>
    Start(const std::function<std::wstring(const Handles&)>& CommandLineFor,
          std::uint32_t& LastError);
    ~Child(); // End
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // Hands the bytes to the child whole; false when it is gone.
    bool Send(const std::string& Bytes);

    enum class Event {
        Data,     // Received grew
        Ended,    // the child has ended and everything it wrote has been read
        TimedOut, // the deadline passed first
    };
    // Appends what the child wrote to Received, waiting for the first of the three events.
    Event Receive(std::string& Received, std::chrono::steady_clock::time_point Deadline);

    // Ends the child and every process it started, at once, and waits for it. What it wrote and
    // was not received yet is dropped.
    void End();
    bool Ended() const;
    // Its exit code once it has ended; kEndedCode when End stopped it.
    std::uint32_t ExitCode() const;
    std::uint32_t ProcessId() const;
    // When the child started, as the platform counts it (a FILETIME as one number).
    std::uint64_t StartTime() const;

    // Ends the child and what it started, without waiting: safe from another thread while one
    // waits in Receive, which then sees the child ended.
    void Stop();

  private:
    struct State;
    explicit Child(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

} // namespace ChildRun
