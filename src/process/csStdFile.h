// A file that a child process writes its standard output and error into: created empty, its
// handle inheritable so that it can be passed as the child's std handles.
#pragma once

#include <cstdint>
#include <string>

class csStdFile {
  public:
    csStdFile() = default;
    ~csStdFile();
    csStdFile(const csStdFile&) = delete;
    csStdFile& operator=(const csStdFile&) = delete;

    // Closes any file open before, then creates FileName anew (truncating an existing one).
    // Others may read and write it while it is open. On failure hFile is 0 and Name empty.
    bool CreateNewFile(const std::wstring& FileName);
    // Closes the handle; Name stays so the file can be shown afterwards.
    void CloseFile();

    std::uintptr_t hFile() const { return m_hFile; }
    const std::wstring& Name() const { return m_Name; }

  private:
    std::uintptr_t m_hFile = 0;
    std::wstring m_Name;
};
