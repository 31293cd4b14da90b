// Shared helpers of the process tests: file contents, the child program and a
// guard that answers message boxes when a display makes them real.
#pragma once

#include "TestFolders.h"

#include <string>
#include <vector>

namespace process_test {

// The helper child program built beside the tests, quoted for a command line.
std::wstring QuotedChild();
bool Exists(const std::wstring& path);
std::string ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const std::string& bytes);
// The names in a folder.
std::vector<std::wstring> ListFolder(const std::wstring& folder);
// A wide string from ASCII or UTF-8 bytes of a test.
std::wstring Widen(const std::string& text);

// While alive, answers every message box of this process with Cancel so that a test cannot
// block when a display makes the boxes real. Without a display the boxes fail at once.
class BoxAnswerer {
  public:
    BoxAnswerer();
    ~BoxAnswerer();
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    // Stops answering; the texts of the boxes answered, in order.
    std::vector<std::wstring> Stop();

    struct State;

  private:
    State* state_;
};

} // namespace process_test
