// ManifestTool <program>: writes the program's only manifest resource to standard output, then
// rewrites it naming amd64 where it names X86, for a 64-bit platform without x86 assemblies.
#include "HelperCommon.h"

#include <shellapi.h>

int main() {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    const auto resources = e2e::ManifestResources(count == 2 ? argv[1] : L"");
    std::string bytes = resources.size() == 1 ? resources.begin()->second : "";
    if (bytes.empty() || !e2e::WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), bytes)) return 2;
    for (std::size_t at = bytes.find("\"X86\""); at != std::string::npos;
         at = bytes.find("\"X86\""))
        bytes.replace(at, 5, "\"amd64\"");
    HANDLE update = BeginUpdateResourceW(argv[1], FALSE);
    return update &&
                   UpdateResourceW(update, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1),
                                   resources.begin()->first, bytes.data(),
                                   static_cast<DWORD>(bytes.size())) &&
                   EndUpdateResourceW(update, FALSE)
               ? 0
               : 3;
}
