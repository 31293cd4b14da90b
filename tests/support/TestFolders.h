// Folders every test program needs: its own (fixtures and helper programs sit beside it) and a
// fresh scratch folder per test.
#pragma once

#include <filesystem>
#include <string>

namespace TestFolders {

// The folder of the running test program.
std::filesystem::path ProgramFolder();

// An empty folder in the system's temporary folder, named after the running test, the tag and
// this process, so that no two tests or runs share one; emptied first when it exists.
std::filesystem::path Fresh(const std::wstring& tag = L"");

} // namespace TestFolders
