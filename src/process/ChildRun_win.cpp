#include "process/ChildRun.h"

#include <windows.h>

#include <thread>
#include <vector>

namespace ChildRun {
namespace {

class Handle {
  public:
    Handle() = default;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Close(); }
    void Close() {
        if (h_) CloseHandle(h_);
        h_ = nullptr;
    }
    HANDLE get() const { return h_; }
    HANDLE* put() { return &h_; }

  private:
    HANDLE h_ = nullptr;
};

// Big enough that the child seldom waits for the reader.
constexpr DWORD kPipeBuffer = 1 << 20;

} // namespace

Result Run(const std::function<std::wstring(std::uintptr_t outputHandle)>& CommandLineFor,
           std::uint32_t TimeoutMs) {
    Result result;
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle readEnd, writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), &inheritable, kPipeBuffer) ||
        !SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0)) {
        result.LastError = GetLastError();
        return result;
    }
    const std::wstring commandLine =
        CommandLineFor(reinterpret_cast<std::uintptr_t>(writeEnd.get()));
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    // No console at all: the child needs none, and a console of its own would flash up as a
    // window when the parent has none.
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &process)) {
        result.LastError = GetLastError();
        return result;
    }
    Handle processHandle, threadHandle;
    *processHandle.put() = process.hProcess;
    *threadHandle.put() = process.hThread;
    // Only the child holds the write end now, so the pipe ends when the child does.
    writeEnd.Close();

    std::thread reader([&] {
        char chunk[65536];
        DWORD got = 0;
        try {
            while (ReadFile(readEnd.get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
                result.Output.append(chunk, got);
        } catch (...) {
            // Out of memory: the output stays short, which the caller refuses as incomplete.
        }
    });
    if (WaitForSingleObject(process.hProcess, TimeoutMs) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, ERROR_TIMEOUT);
        WaitForSingleObject(process.hProcess, INFINITE);
        result.How = Ending::TimedOut;
    } else {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result.How = Ending::Exited;
        result.ExitCode = code;
    }
    reader.join();
    return result;
}

} // namespace ChildRun
