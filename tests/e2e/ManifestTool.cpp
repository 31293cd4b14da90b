// ManifestTool <program>: writes the program's only manifest resource to standard output, then
// rewrites it as this build's loader takes it (naming amd64 where it names X86 in a 64-bit build,
// which has no x86 assemblies; unchanged in a 32-bit one).
#include "HelperCommon.h"

#include <shellapi.h>

int main() {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    const auto resources = e2e::ManifestResources(count == 2 ? argv[1] : L"");
    std::string bytes = resources.size() == 1 ? resources.begin()->second : "";
    if (bytes.empty() || !e2e::WriteAll(GetStdHandle(STD_OUTPUT_HANDLE), bytes)) return 2;
    bytes = e2e::ForThisPlatform(bytes);
    if (bytes == resources.begin()->second) return 0;
    HANDLE update = BeginUpdateResourceW(argv[1], FALSE);
    return update &&
                   UpdateResourceW(update, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1),
                                   resources.begin()->first, bytes.data(),
                                   static_cast<DWORD>(bytes.size())) &&
                   EndUpdateResourceW(update, FALSE)
               ? 0
               : 3;
}
