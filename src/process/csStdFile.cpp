#include "process/csStdFile.h"

#include "platform/AnsiFile.h"
#include "support/QZVSP0100B.h"

#include "common/LongPath.h"

#include <windows.h>

csStdFile::~csStdFile() {
    CloseFile();
}

bool csStdFile::CreateNewFile(const std::wstring& FileName) {
    CloseFile();
    m_Name = FileName;
    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof(sa);
    sa.lpSecurityDescriptor = nullptr;
    sa.bInheritHandle = TRUE;
    HANDLE file;
    // The wide name on NT: the temporary folder may hold characters outside the ANSI code page.
    if (QZVSP0100B::IsHostWinNT()) {
        file = CreateFileW(LongPath::ForFileApi(FileName).c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS, 0, nullptr);
    } else {
        file = CreateFileA(platform::ToAnsi(FileName).c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS, 0, nullptr);
    }
    if (file == INVALID_HANDLE_VALUE || file == nullptr) {
        m_hFile = 0;
        m_Name.clear();
    } else {
        m_hFile = reinterpret_cast<std::uintptr_t>(file);
    }
    return m_hFile != 0;
}

void csStdFile::CloseFile() {
    if (m_hFile != 0) {
        CloseHandle(reinterpret_cast<HANDLE>(m_hFile));
        m_hFile = 0;
    }
}
