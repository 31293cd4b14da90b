#include "TestFolders.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace TestFolders {

std::filesystem::path ProgramFolder() {
#ifdef _WIN32
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    return std::filesystem::path(path).parent_path();
#else
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
#endif
}

std::filesystem::path Fresh(const std::wstring& tag) {
#ifdef _WIN32
    const auto process = GetCurrentProcessId();
#else
    const auto process = getpid();
#endif
    const auto* test = testing::UnitTest::GetInstance()->current_test_info();
    const std::string name = std::string("vexmor-") + test->test_suite_name() + "." + test->name();
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        (std::filesystem::path(name).wstring() + L"-" + tag + L"-" + std::to_wstring(process));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder); // throws when it cannot
    return folder;
}

} // namespace TestFolders
