// The tests' hands on a program's manifest resource:
//   ManifestTool read <program> <file>   writes the neutral or only manifest resource 1 to file
//   ManifestTool amd64 <program>         rewrites it naming amd64 where it names X86, for a
//                                        64-bit platform that has no x86 assemblies
#include "HelperCommon.h"

#include <shellapi.h>

int main() {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count < 3) return 2;
    const std::wstring mode = argv[1], program = argv[2];
    const auto resources = e2e::ManifestResources(program);
    if (resources.size() != 1) return 3;
    std::string bytes = resources.begin()->second;
    if (mode == L"read" && count == 4) {
        HANDLE file = CreateFileW(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        const bool written = file != INVALID_HANDLE_VALUE && e2e::WriteAll(file, bytes);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        return written ? 0 : 4;
    }
    if (mode != L"amd64") return 2;
    for (std::size_t at = bytes.find("\"X86\""); at != std::string::npos;
         at = bytes.find("\"X86\"", at)) {
        bytes.replace(at, 5, "\"amd64\"");
    }
    HANDLE update = BeginUpdateResourceW(program.c_str(), FALSE);
    return update &&
                   UpdateResourceW(update, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1),
                                   resources.begin()->first, bytes.data(),
                                   static_cast<DWORD>(bytes.size())) &&
                   EndUpdateResourceW(update, FALSE)
               ? 0
               : 5;
}
