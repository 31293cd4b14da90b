#include "DialogDriver.h"

#include "HelperCommon.h"
#include "IconHook.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <cwchar>
#include <map>
#include <set>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace e2e {

namespace {

constexpr DWORD PollMs = 20;
// How long a new box may take to get its icon kind from the hook (set before it is shown).
constexpr DWORD IconWaitMs = 1000;
// How long an answered box may take to go away before the driver moves on.
constexpr DWORD BoxGoneWaitMs = 2000;
constexpr UINT TextTimeoutMs = 2000;
constexpr int MessageTextControlId = 0xFFFF;

[[noreturn]] void ThrowError(DWORD error, const char* what) {
    throw std::system_error(static_cast<int>(error), std::system_category(), what);
}

[[noreturn]] void ThrowLastError(const char* what) {
    ThrowError(GetLastError(), what);
}

class Handle {
  public:
    Handle() = default;
    explicit Handle(HANDLE h) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    Handle(Handle&& other) noexcept : h_(std::exchange(other.h_, nullptr)) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle& operator=(Handle&&) = delete;
    ~Handle() {
        if (h_ != nullptr) CloseHandle(h_);
    }
    HANDLE get() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }

  private:
    HANDLE h_ = nullptr;
};

// Installed for the length of one run; the hook reads each box's icon inside its own process.
class IconHookInstall {
  public:
    IconHookInstall() {
        std::wstring path = ExeDir() + L"VexmorIconHook.dll";
        module_ = LoadLibraryW(path.c_str());
        if (module_ == nullptr) ThrowLastError("cannot load VexmorIconHook.dll beside the driver");
        auto proc = reinterpret_cast<HOOKPROC>(
            reinterpret_cast<void*>(GetProcAddress(module_, IconHookProcName)));
        if (proc == nullptr) {
            DWORD error = GetLastError();
            FreeLibrary(module_);
            ThrowError(error, "VexmorIconHook.dll exports no hook procedure");
        }
        hook_ = SetWindowsHookExW(WH_CALLWNDPROCRET, proc, module_, 0);
        if (hook_ == nullptr) {
            DWORD error = GetLastError();
            FreeLibrary(module_);
            ThrowError(error, "cannot install the icon hook");
        }
    }
    IconHookInstall(const IconHookInstall&) = delete;
    IconHookInstall& operator=(const IconHookInstall&) = delete;
    ~IconHookInstall() {
        UnhookWindowsHookEx(hook_);
        FreeLibrary(module_);
    }

  private:
    HMODULE module_ = nullptr;
    HHOOK hook_ = nullptr;
};

bool SameName(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

bool NameLess(const std::wstring& a, const std::wstring& b) {
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
}

// The caller's environment with the run's changes, sorted by name as Windows keeps it.
std::vector<wchar_t> BuildEnvironment(const RunOptions& options) {
    std::vector<std::pair<std::wstring, std::wstring>> vars;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* p = block; *p != L'\0'; p += std::wcslen(p) + 1) {
            std::wstring entry = p;
            // Names such as "=C:" start with '=': the separator is the first '=' after that.
            std::size_t eq = entry.find(L'=', 1);
            if (eq == std::wstring::npos) continue;
            vars.emplace_back(entry.substr(0, eq), entry.substr(eq + 1));
        }
        FreeEnvironmentStringsW(block);
    }
    auto find = [&vars](const std::wstring& name) {
        return std::find_if(vars.begin(), vars.end(),
                            [&name](const auto& v) { return SameName(v.first, name); });
    };
    for (const auto& name : options.UnsetEnv) {
        auto it = find(name);
        if (it != vars.end()) vars.erase(it);
    }
    for (const auto& [name, value] : options.Env) {
        auto it = find(name);
        if (it != vars.end())
            it->second = value;
        else
            vars.emplace_back(name, value);
    }
    std::stable_sort(vars.begin(), vars.end(),
                     [](const auto& a, const auto& b) { return NameLess(a.first, b.first); });
    std::vector<wchar_t> block;
    for (const auto& [name, value] : vars) {
        block.insert(block.end(), name.begin(), name.end());
        block.push_back(L'=');
        block.insert(block.end(), value.begin(), value.end());
        block.push_back(L'\0');
    }
    if (block.empty()) block.push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

// An inheritable temporary file that the child writes one output stream into; it goes away
// when the last handle to it is closed.
Handle CreateCaptureFile() {
    wchar_t dir[MAX_PATH + 1] = {};
    wchar_t path[MAX_PATH + 1] = {};
    if (GetTempPathW(MAX_PATH + 1, dir) == 0) ThrowLastError("GetTempPathW");
    if (GetTempFileNameW(dir, L"vxd", 0, path) == 0) ThrowLastError("GetTempFileNameW");
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle file(CreateFileW(
        path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file) ThrowLastError("cannot create a capture file");
    return file;
}

std::string ReadCaptureFile(HANDLE file) {
    std::string bytes;
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(file, zero, nullptr, FILE_BEGIN)) return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    return bytes;
}

// Keeps the thread's own queue served: a hook that cannot run inside another process is called
// through the installing thread.
void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void Pause(DWORD ms) {
    PumpMessages();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, ms, QS_ALLINPUT);
    PumpMessages();
}

// The process tree of the child. Parent ids are walked by hand because job objects under Wine
// do not hold grandchildren. The tree holds a handle to every member, so no member's id can pass
// to another process while the run lasts. Members stay members after they end, so a box of a
// grandchild whose parent has already ended is still recognised.
class ProcessTree {
  public:
    ProcessTree(HANDLE root, DWORD rootId) : rootId_(rootId) {
        HANDLE copy = nullptr;
        DuplicateHandle(GetCurrentProcess(), root, GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        created_[rootId] = CreationTime(copy);
        handles_.emplace(rootId, Handle(copy));
    }

    bool Contains(DWORD pid) const { return created_.count(pid) != 0; }

    void Refresh() {
        Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
        if (!snapshot) return;
        std::vector<ProcessLink> links;
        std::map<DWORD, Handle> opened;
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof entry;
        for (BOOL ok = Process32FirstW(snapshot.get(), &entry); ok;
             ok = Process32NextW(snapshot.get(), &entry)) {
            if (Contains(entry.th32ProcessID)) continue;
            Handle process(
                OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE,
                            FALSE, entry.th32ProcessID));
            if (!process) continue; // already gone, or not ours to touch
            links.push_back(
                {entry.th32ProcessID, entry.th32ParentProcessID, CreationTime(process.get())});
            opened.emplace(entry.th32ProcessID, std::move(process));
        }
        AddDescendants(created_, links);
        for (auto& [pid, process] : opened)
            if (Contains(pid)) handles_.emplace(pid, std::move(process));
    }

    // Descendants before the child, so that it cannot start a replacement for one.
    void KillAll(UINT exitCode) {
        Refresh();
        for (const auto& [pid, process] : handles_)
            if (pid != rootId_) TerminateProcess(process.get(), exitCode);
        TerminateProcess(handles_.at(rootId_).get(), exitCode);
    }

  private:
    static std::uint64_t CreationTime(HANDLE process) {
        FILETIME created{}, exited{}, kernel{}, user{};
        if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
        return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    }

    DWORD rootId_;
    std::map<std::uint32_t, std::uint64_t> created_;
    std::map<DWORD, Handle> handles_;
};

struct Candidate {
    HWND Window;
    DWORD Pid;
};

BOOL CALLBACK CollectBox(HWND window, LPARAM param) {
    wchar_t className[16] = {};
    if (IsWindowVisible(window) && GetClassNameW(window, className, 16) > 0 &&
        std::wcscmp(className, L"#32770") == 0) {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        reinterpret_cast<std::vector<Candidate>*>(param)->push_back({window, pid});
    }
    return TRUE;
}

std::wstring ControlText(HWND control) {
    if (control == nullptr) return {};
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                             TextTimeoutMs, &length))
        return {};
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(control, WM_GETTEXT, text.size(),
                             reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG | SMTO_BLOCK,
                             TextTimeoutMs, &copied))
        return {};
    text.resize(std::min<std::size_t>(copied, length));
    return text;
}

std::wstring WindowCaption(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return text;
}

std::wstring IconName(HWND box) {
    for (DWORD waited = 0;; waited += 10) {
        auto kind = static_cast<int>(reinterpret_cast<INT_PTR>(GetPropW(box, IconKindProperty)));
        switch (static_cast<IconKind>(kind)) {
        case IconKind::Information:
            return L"information";
        case IconKind::Error:
            return L"error";
        case IconKind::Warning:
            return L"warning";
        case IconKind::Question:
            return L"question";
        case IconKind::None:
            return L"none";
        case IconKind::Other:
            return L"other";
        }
        if (waited >= IconWaitMs || !IsWindow(box)) return L"unknown";
        Pause(10);
    }
}

BoxRecord ReadBox(HWND box) {
    BoxRecord record;
    record.Caption = WindowCaption(box);
    record.Text = ControlText(GetDlgItem(box, MessageTextControlId));
    // By id, never by the button texts: those are localised.
    record.HasOk = GetDlgItem(box, IDOK) != nullptr;
    record.HasCancel = GetDlgItem(box, IDCANCEL) != nullptr;
    record.Icon = IconName(box);
    return record;
}

void WaitUntilGone(HWND box) {
    for (DWORD waited = 0; waited < BoxGoneWaitMs; waited += PollMs) {
        if (!IsWindow(box) || !IsWindowVisible(box)) return;
        Pause(PollMs);
    }
}

class BoxAnswerer {
  public:
    BoxAnswerer(HANDLE root, DWORD rootId, const std::vector<std::wstring>& answers)
        : tree_(root, rootId), answers_(answers) {}

    // Reads and answers every new box of the tree; returns how many it answered.
    std::size_t Poll(std::vector<BoxRecord>& boxes) {
        std::vector<Candidate> candidates;
        EnumWindows(CollectBox, reinterpret_cast<LPARAM>(&candidates));
        std::size_t answered = 0;
        bool refreshed = false;
        for (const auto& candidate : candidates) {
            if (done_.count(candidate.Window) != 0) continue;
            if (!tree_.Contains(candidate.Pid) && !refreshed) {
                tree_.Refresh();
                refreshed = true;
            }
            if (!tree_.Contains(candidate.Pid)) continue;
            BoxRecord record = ReadBox(candidate.Window);
            record.Answer = ChooseAnswer(boxes.size(), record);
            int id = record.Answer == L"ok" ? IDOK : IDCANCEL;
            done_.insert(candidate.Window);
            PostMessageW(candidate.Window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(candidate.Window, id)));
            boxes.push_back(std::move(record));
            ++answered;
            WaitUntilGone(candidate.Window);
        }
        // Forget boxes that are gone, so a later box that reuses a handle value is seen.
        for (auto it = done_.begin(); it != done_.end();)
            it = IsWindow(*it) ? std::next(it) : done_.erase(it);
        return answered;
    }

    void KillAll(UINT exitCode) { tree_.KillAll(exitCode); }

  private:
    std::wstring ChooseAnswer(std::size_t index, const BoxRecord& record) const {
        if (index < answers_.size()) return answers_[index];
        return record.HasOk || !record.HasCancel ? L"ok" : L"cancel";
    }

    ProcessTree tree_;
    const std::vector<std::wstring>& answers_;
    std::set<HWND> done_;
};

// For reading: line ends become plain newlines, a stray carriage return stays visible, and the
// block always ends with a newline.
std::string Block(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r')
            out += text[i];
        else if (i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        else
            out += "\\r";
    }
    if (out.empty() || out.back() != '\n') out += '\n';
    return out;
}

} // namespace

void AddDescendants(std::map<std::uint32_t, std::uint64_t>& members,
                    const std::vector<ProcessLink>& links) {
    // Snapshots are not ordered parent first: repeat until nothing new turns up.
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto& link : links) {
            auto parent = members.find(link.Parent);
            if (link.Id == link.Parent || parent == members.end() || members.count(link.Id) != 0)
                continue;
            if (link.Created < parent->second) continue; // older: its parent was another process
            members.emplace(link.Id, link.Created);
            grew = true;
        }
    }
}

RunResult Run(const RunOptions& options) {
    for (const auto& answer : options.Answers)
        if (answer != L"ok" && answer != L"cancel")
            throw std::invalid_argument("a box can only be answered \"ok\" or \"cancel\"");

    IconHookInstall hook;
    std::vector<wchar_t> environment = BuildEnvironment(options);
    Handle out = CreateCaptureFile();
    Handle err = CreateCaptureFile();
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle in(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                          OPEN_EXISTING, 0, nullptr));
    if (!in) ThrowLastError("cannot open NUL");

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in.get();
    startup.hStdOutput = out.get();
    startup.hStdError = err.get();
    std::wstring commandLine = options.CommandLine;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_UNICODE_ENVIRONMENT, environment.data(),
                        options.WorkDir.empty() ? nullptr : options.WorkDir.c_str(), &startup,
                        &info))
        ThrowLastError("cannot start the program");
    Handle process(info.hProcess);
    Handle thread(info.hThread);

    RunResult result;
    BoxAnswerer answerer(info.hProcess, info.dwProcessId, options.Answers);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.TimeoutMs);
    for (;;) {
        if (options.AnswerBoxes) answerer.Poll(result.Boxes);
        PumpMessages();
        DWORD wait = MsgWaitForMultipleObjects(1, &info.hProcess, FALSE, PollMs, QS_ALLINPUT);
        if (wait == WAIT_OBJECT_0) break;
        if (std::chrono::steady_clock::now() >= deadline) {
            answerer.KillAll(TimeoutExitCode);
            WaitForSingleObject(info.hProcess, 5000);
            result.TimedOut = true;
            break;
        }
    }

    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    result.ExitCode = code;
    result.StdOut = ReadCaptureFile(out.get());
    result.StdErr = ReadCaptureFile(err.get());
    return result;
}

std::string Describe(const BoxRecord& box) {
    std::string buttons = box.HasOk && box.HasCancel ? "ok,cancel"
                          : box.HasOk                ? "ok"
                          : box.HasCancel            ? "cancel"
                                                     : "none";
    return "box: icon=" + ToUtf8(box.Icon) + " caption=" + ToUtf8(box.Caption) +
           " buttons=" + buttons + " answer=" + ToUtf8(box.Answer) + "\n" + Block(ToUtf8(box.Text));
}

std::string Describe(const RunResult& result) {
    std::string text;
    for (const auto& box : result.Boxes) text += Describe(box);
    text += "stdout:\n" + Block(result.StdOut) + "stderr:\n" + Block(result.StdErr);
    char code[64];
    std::snprintf(code, sizeof code, "exit code: %lu (0x%08lX)%s\n",
                  static_cast<unsigned long>(result.ExitCode),
                  static_cast<unsigned long>(result.ExitCode),
                  result.TimedOut ? ", timed out" : "");
    return text + code;
}

std::wstring QuoteArgument(std::wstring_view argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos)
        return std::wstring(argument);
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes double only where a quote follows them.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

} // namespace e2e
