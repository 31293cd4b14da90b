// A child for the process tests: process_test_child <exit code> <step>...
// Steps run in order: sleep:<ms>, wait:<name> (until the named event is set; exit code 99 when
// nobody sets it within 20 s), out:<text>, err:<text> (a line on that stream, unbuffered so
// the order survives a shared capture file), file:<path> (creates an empty file),
// handle:<decimal>:<text> (a line written to a handle the parent may have let it inherit),
// bulk:<count>[:<decimal>] (that many bytes 'x' on standard output, or on the handle, no line
// end).
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void WriteLine(DWORD which, const std::string& text) {
    std::string line = text + "\r\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(which), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

bool Starts(const std::string& step, const char* prefix, std::string& rest) {
    std::string p(prefix);
    if (step.compare(0, p.size(), p) != 0) return false;
    rest = step.substr(p.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 100;
    for (int i = 2; i < argc; ++i) {
        std::string step = argv[i];
        std::string rest;
        if (Starts(step, "sleep:", rest)) {
            Sleep(static_cast<DWORD>(std::strtoul(rest.c_str(), nullptr, 10)));
        } else if (Starts(step, "wait:", rest)) {
            HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, rest.c_str());
            if (event == nullptr || WaitForSingleObject(event, 20000) != WAIT_OBJECT_0) return 99;
            CloseHandle(event);
        } else if (Starts(step, "out:", rest)) {
            WriteLine(STD_OUTPUT_HANDLE, rest);
        } else if (Starts(step, "err:", rest)) {
            WriteLine(STD_ERROR_HANDLE, rest);
        } else if (Starts(step, "file:", rest)) {
            HANDLE f =
                CreateFileA(rest.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
        } else if (Starts(step, "bulk:", rest)) {
            char* end = nullptr;
            const std::string bytes(std::strtoul(rest.c_str(), &end, 10), 'x');
            HANDLE to = *end == ':' ? reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(
                                          std::strtoull(end + 1, nullptr, 10)))
                                    : GetStdHandle(STD_OUTPUT_HANDLE);
            DWORD written = 0;
            WriteFile(to, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        } else if (Starts(step, "handle:", rest)) {
            char* end = nullptr;
            auto value = static_cast<std::uintptr_t>(std::strtoull(rest.c_str(), &end, 10));
            std::string line = std::string(end + 1) + "\r\n";
            DWORD written = 0;
            WriteFile(reinterpret_cast<HANDLE>(value), line.data(), static_cast<DWORD>(line.size()),
                      &written, nullptr);
        } else {
            return 101;
        }
    }
    return static_cast<int>(std::strtol(argv[1], nullptr, 10));
}
