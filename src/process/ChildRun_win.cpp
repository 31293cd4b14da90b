#include "process/ChildRun.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <vector>

namespace ChildRun {
namespace {

class Handle {
  public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { Close(); }
    void Close() {
        if (h_) CloseHandle(h_);
        h_ = nullptr;
    }
    void Reset(HANDLE h) {
        Close();
        h_ = h == INVALID_HANDLE_VALUE ? nullptr : h;
    }
    HANDLE get() const { return h_; }
    HANDLE* put() { return &h_; }
    explicit operator bool() const { return h_ != nullptr; }

  private:
    HANDLE h_ = nullptr;
};

// Big enough that a whole record goes through in one write.
constexpr DWORD kPipeBuffer = 1 << 20;
// How long what an ended child wrote may take to arrive.
constexpr DWORD kDrainMs = 2000;

DWORD MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    return left <= 0 ? 0 : static_cast<DWORD>(std::min<long long>(left, INFINITE - 1));
}

std::uint64_t Number(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

std::uint64_t StartTimeOf(HANDLE process) {
    FILETIME created{}, exited{}, kernel{}, user{};
    return GetProcessTimes(process, &created, &exited, &kernel, &user) ? Number(created) : 0;
}

// The processes that the given one started, and theirs, by parent ids: a process counts only
// when it started after the parent it names, since ids are reused.
std::vector<DWORD> Descendants(DWORD root, std::uint64_t rootStart) {
    struct Entry {
        DWORD Id, Parent;
    };
    std::vector<Entry> all;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return {};
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32FirstW(snapshot, &entry); ok; ok = Process32NextW(snapshot, &entry))
        all.push_back({entry.th32ProcessID, entry.th32ParentProcessID});
    CloseHandle(snapshot);
    std::vector<std::pair<DWORD, std::uint64_t>> found = {{root, rootStart}};
    for (std::size_t i = 0; i < found.size(); ++i) {
        for (const Entry& e : all) {
            if (e.Parent != found[i].first || e.Id == found[i].first) continue;
            if (std::any_of(found.begin(), found.end(), [&](auto& f) { return f.first == e.Id; }))
                continue;
            Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, e.Id));
            const std::uint64_t start = process ? StartTimeOf(process.get()) : 0;
            if (start != 0 && start >= found[i].second) found.push_back({e.Id, start});
        }
    }
    std::vector<DWORD> ids;
    for (std::size_t i = 1; i < found.size(); ++i) ids.push_back(found[i].first);
    return ids;
}

// A unique name for the pipe between this process and one child.
std::wstring PipeName() {
    static LONG counter = 0;
    return L"\\\\.\\pipe\\VexmorLink." + std::to_wstring(GetCurrentProcessId()) + L"." +
           std::to_wstring(GetTickCount64()) + L"." +
           std::to_wstring(InterlockedIncrement(&counter));
}

} // namespace

struct Child::State {
    Handle Process, Job, Pipe, ReadEvent;
    DWORD Id = 0;
    std::uint64_t Start = 0;
    OVERLAPPED Read{};
    std::vector<char> Buffer = std::vector<char>(kPipeBuffer);
    bool Reading = false;  // an overlapped read is pending
    bool PipeDone = false; // the child's end is closed and everything has been read
    bool Killed = false;
};

Child::Child(std::unique_ptr<State> state) : state_(std::move(state)) {}

Child::~Child() {
    End();
}

std::unique_ptr<Child>
Child::Start(const std::function<std::wstring(const Handles&)>& CommandLineFor,
             std::uint32_t& LastError) {
    auto state = std::make_unique<State>();
    auto fail = [&]() -> std::unique_ptr<Child> {
        LastError = GetLastError();
        if (LastError == 0) LastError = ERROR_GEN_FAILURE;
        return nullptr;
    };
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    // This process's end is never inheritable: no other child of the program may hold it.
    const std::wstring name = PipeName();
    state->Pipe.Reset(CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
        kPipeBuffer, kPipeBuffer, 0, nullptr));
    if (!state->Pipe) return fail();
    Handle childPipe(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, &inheritable,
                                 OPEN_EXISTING, 0, nullptr));
    Handle nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inheritable, OPEN_EXISTING, 0, nullptr));
    Handle parent;
    if (!childPipe || !nul ||
        !DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(),
                         parent.put(), SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, TRUE, 0))
        return fail();
    state->ReadEvent.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!state->ReadEvent) return fail();
    state->Read.hEvent = state->ReadEvent.get();

    // Exactly these handles go to the child, whatever else of this process is inheritable (a
    // build server's pipes, say): none of them may outlive the build in a process it starts.
    HANDLE inherited[] = {childPipe.get(), nul.get(), parent.get()};
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> attributes(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return fail();
    struct ListGuard {
        LPPROC_THREAD_ATTRIBUTE_LIST List;
        ~ListGuard() { DeleteProcThreadAttributeList(List); }
    } guard{list};
    if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                   sizeof inherited, nullptr, nullptr))
        return fail();

    const Handles handles{reinterpret_cast<std::uintptr_t>(childPipe.get()),
                          reinterpret_cast<std::uintptr_t>(parent.get())};
    const std::wstring commandLine = CommandLineFor(handles);
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = nul.get();
    startup.StartupInfo.hStdOutput = nul.get();
    startup.StartupInfo.hStdError = nul.get();
    startup.lpAttributeList = list;
    PROCESS_INFORMATION process{};
    // No console at all: the child needs none, and a console of its own would flash up as a
    // window when the parent has none. Suspended until it is in its job.
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE,
                        DETACHED_PROCESS | CREATE_SUSPENDED | EXTENDED_STARTUPINFO_PRESENT, nullptr,
                        nullptr, &startup.StartupInfo, &process))
        return fail();
    state->Process.Reset(process.hProcess);
    Handle thread(process.hThread);
    state->Id = process.dwProcessId;
    state->Start = StartTimeOf(process.hProcess);

    // Kill on close: the job ends with End, and with this process however it ends. A process
    // that already runs in a job the platform will not nest may be refused one (Windows 7).
    state->Job.Reset(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
    if (!state->Job ||
        !SetInformationJobObject(state->Job.get(), JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits) ||
        !AssignProcessToJobObject(state->Job.get(), process.hProcess))
        state->Job.Close();
    ResumeThread(thread.get());
    return std::unique_ptr<Child>(new Child(std::move(state)));
}

bool Child::Send(const std::string& Bytes) {
    State& s = *state_;
    if (!s.Pipe || s.PipeDone) return false;
    OVERLAPPED write{};
    Handle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    write.hEvent = event.get();
    std::size_t done = 0;
    while (done < Bytes.size()) {
        DWORD written = 0;
        const auto chunk =
            static_cast<DWORD>(std::min<std::size_t>(Bytes.size() - done, kPipeBuffer));
        if (!WriteFile(s.Pipe.get(), Bytes.data() + done, chunk, nullptr, &write) &&
            GetLastError() != ERROR_IO_PENDING)
            return false;
        // The child reads what it is sent at once, or it has ended.
        HANDLE waits[] = {event.get(), s.Process.get()};
        if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
            CancelIoEx(s.Pipe.get(), &write);
            GetOverlappedResult(s.Pipe.get(), &write, &written, TRUE);
            return false;
        }
        if (!GetOverlappedResult(s.Pipe.get(), &write, &written, FALSE) || written == 0)
            return false;
        done += written;
    }
    return true;
}

Child::Event Child::Receive(std::string& Received, std::chrono::steady_clock::time_point Deadline) {
    State& s = *state_;
    for (;;) {
        if (!s.PipeDone && !s.Reading) {
            ResetEvent(s.ReadEvent.get());
            DWORD got = 0;
            if (ReadFile(s.Pipe.get(), s.Buffer.data(), kPipeBuffer, &got, &s.Read)) {
                Received.append(s.Buffer.data(), got);
                if (got > 0) return Event::Data;
                continue;
            }
            if (GetLastError() == ERROR_IO_PENDING)
                s.Reading = true;
            else
                s.PipeDone = true; // broken: the child's end is closed and all has been read
        }
        if (s.PipeDone) {
            return WaitForSingleObject(s.Process.get(), MillisecondsLeft(Deadline)) == WAIT_OBJECT_0
                       ? Event::Ended
                       : Event::TimedOut;
        }
        if (Ended()) {
            // What the child wrote before it ended is in the pipe; nothing else may keep the
            // caller, not even a process it left behind holding its end (End ends that one).
            if (WaitForSingleObject(s.ReadEvent.get(), kDrainMs) != WAIT_OBJECT_0) {
                CancelIoEx(s.Pipe.get(), &s.Read);
            }
        } else {
            HANDLE waits[] = {s.ReadEvent.get(), s.Process.get()};
            const DWORD result =
                WaitForMultipleObjects(2, waits, FALSE, MillisecondsLeft(Deadline));
            if (result == WAIT_OBJECT_0 + 1) continue; // ended: read what is left
            // A wait that fails counts as one that ran out: the caller ends the child.
            if (result != WAIT_OBJECT_0) return Event::TimedOut;
        }
        DWORD got = 0;
        const bool read = GetOverlappedResult(s.Pipe.get(), &s.Read, &got, TRUE) != FALSE;
        s.Reading = false;
        Received.append(s.Buffer.data(), read ? got : 0);
        if (read && got > 0) return Event::Data;
        s.PipeDone = true;
    }
}

void Child::End() {
    State& s = *state_;
    if (!s.Process) return;
    Stop();
    WaitForSingleObject(s.Process.get(), INFINITE);
    if (s.Reading) {
        CancelIoEx(s.Pipe.get(), &s.Read);
        DWORD got = 0;
        GetOverlappedResult(s.Pipe.get(), &s.Read, &got, TRUE);
        s.Reading = false;
    }
    s.Pipe.Close();
    s.PipeDone = true;
}

void Child::Stop() {
    State& s = *state_;
    if (WaitForSingleObject(s.Process.get(), 0) == WAIT_TIMEOUT &&
        TerminateProcess(s.Process.get(), kEndedCode))
        s.Killed = true;
    if (s.Job) {
        TerminateJobObject(s.Job.get(), kEndedCode);
    } else {
        // Without a job, what the child started is found by the process tree.
        for (DWORD id : Descendants(s.Id, s.Start)) {
            Handle process(OpenProcess(PROCESS_TERMINATE, FALSE, id));
            if (process) TerminateProcess(process.get(), kEndedCode);
        }
    }
}

bool Child::Ended() const {
    return !state_->Process || WaitForSingleObject(state_->Process.get(), 0) == WAIT_OBJECT_0;
}

std::uint32_t Child::ExitCode() const {
    if (state_->Killed) return kEndedCode;
    DWORD code = 0;
    if (state_->Process) GetExitCodeProcess(state_->Process.get(), &code);
    return code;
}

std::uint32_t Child::ProcessId() const {
    return state_->Id;
}

std::uint64_t Child::StartTime() const {
    return state_->Start;
}

} // namespace ChildRun
