// Measures what the program costs a build: the stand-in linker started directly against the same
// link started through the program, in pass-through mode and as a configured build without
// scripts. Prints medians and ratios; a benchmark, not a test (nothing is asserted).
//
//   LinkBench.exe <folder with VexmorLink.exe and its libraries> <folder with LINK2.exe> [runs]

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    return folder.empty() || folder.back() == L'\\' || folder.back() == L'/' ? folder + name
                                                                             : folder + L"\\" + name;
}

bool Copy(const std::wstring& from, const std::wstring& to) {
    if (CopyFileW(from.c_str(), to.c_str(), FALSE)) return true;
    std::fwprintf(stderr, L"cannot copy %ls to %ls\n", from.c_str(), to.c_str());
    return false;
}

// Seconds for one run of the command line, waited for; -1 when it could not start.
double TimeRun(const std::wstring& commandLine) {
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    QueryPerformanceCounter(&end);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: LinkBench.exe <program folder> <stand-in folder> [runs]\n");
        return 2;
    }
    const std::wstring programFolder = argv[1], standInFolder = argv[2];
    const int runs = argc > 3 ? std::max(3, _wtoi(argv[3])) : 15;

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring work = Join(temp, L"vexmor-bench");
    const std::wstring bin = Join(work, L"bin"), project = Join(work, L"project");
    CreateDirectoryW(work.c_str(), nullptr);
    CreateDirectoryW(bin.c_str(), nullptr);
    CreateDirectoryW(project.c_str(), nullptr);
    for (const wchar_t* name : {L"VexmorLink.exe", L"QZVSP0100A.DLL", L"QZVSP0100B.DLL"}) {
        if (!Copy(Join(programFolder, name), Join(bin, name))) return 1;
    }
    if (!Copy(Join(standInFolder, L"LINK2.exe"), Join(bin, L"LINK2.exe"))) return 1;
    // The configured project has an (empty) option file and no scripts.
    HANDLE config = CreateFileW(Join(project, L"Configured.LinkConfig").c_str(), GENERIC_WRITE, 0,
                                nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(config);
    SetEnvironmentVariableW(L"VEXMOR_STANDIN_RECORD", Join(work, L"received.txt").c_str());

    const std::wstring args = L" /NOLOGO /SUBSYSTEM:WINDOWS a.obj b.obj /OUT:\"";
    const std::wstring direct = L"\"" + Join(bin, L"LINK2.exe") + L"\"" + args + Join(project, L"Plain.exe\"");
    const std::wstring passThrough = L"\"" + Join(bin, L"VexmorLink.exe") + L"\"" + args + Join(project, L"Plain.exe\"");
    const std::wstring configured = L"\"" + Join(bin, L"VexmorLink.exe") + L"\"" + args + Join(project, L"Configured.exe\"");

    std::vector<double> directTimes, passTimes, configuredTimes;
    TimeRun(direct); // warm the caches once
    TimeRun(passThrough);
    for (int i = 0; i < runs; ++i) {
        // Interleaved, so that a slow moment of the machine hits all three alike.
        directTimes.push_back(TimeRun(direct));
        passTimes.push_back(TimeRun(passThrough));
        configuredTimes.push_back(TimeRun(configured));
    }
    if (Median(directTimes) <= 0 || Median(passTimes) <= 0 || Median(configuredTimes) <= 0) {
        std::fwprintf(stderr, L"a run could not be started\n");
        return 1;
    }
    const double base = Median(directTimes);
    std::wprintf(L"runs: %d each\n", runs);
    std::wprintf(L"stand-in linker directly:      median %.4f s\n", base);
    std::wprintf(L"through the program, no config: median %.4f s  ratio %.2f\n", Median(passTimes),
                 Median(passTimes) / base);
    std::wprintf(L"through the program, configured: median %.4f s  ratio %.2f\n",
                 Median(configuredTimes), Median(configuredTimes) / base);
    return 0;
}
