// Measures what the program costs a build: the stand-in linker started directly, and through a
// minimal program that makes the same start-up calls (the baseline of the program's own cost),
// against the same link started through the program, in pass-through mode, as a configured build
// without scripts and manifest, as one that writes a program's manifest, as one that writes a
// COM library's and as one that embeds a program's manifest. The stand-in writes a real output file
// every time, as a link would. Prints medians and the three ratios that judge the program, with
// their targets; a benchmark, not a test (nothing is asserted).
//
//   LinkBench.exe <folder with VexmorLink.exe and its libraries> <test folder> [runs] [library]
// The test folder holds LINK2.exe, MinimalLink.exe, version\App.exe and ComFixture.dll. Given a
// library, only that library is linked: passed through and with its manifest written.

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
    return folder.empty() || folder.back() == L'\\' || folder.back() == L'/'
               ? folder + name
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
        std::fwprintf(stderr, L"usage: LinkBench.exe <program folder> <test folder> [runs]\n");
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
    if (!Copy(Join(standInFolder, L"MinimalLink.exe"), Join(bin, L"MinimalLink.exe"))) return 1;
    // The configured projects have option files and no scripts.
    auto optionFile = [&](const wchar_t* name, const char* text) {
        HANDLE file = CreateFileW(Join(project, name).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
        CloseHandle(file);
    };
    optionFile(L"Configured.LinkConfig", "NOMANIFEST");
    optionFile(L"Manifest.LinkConfig", "");
    optionFile(L"ComLibrary.LinkConfig", "MANIFEST");
    // A program using two COM libraries of the test folder, each read and its registration run.
    std::string components;
    for (const wchar_t* name : {L"ComRegFixture.dll", L"ComFixture.dll"}) {
        char path[MAX_PATH * 2] = {};
        WideCharToMultiByte(CP_ACP, 0, Join(standInFolder, name).c_str(), -1, path, sizeof path,
                            nullptr, nullptr);
        components += std::string("COM:") + path + "\r\n";
    }
    optionFile(L"Components.LinkConfig", components.c_str());
    optionFile(L"Embedded.LinkConfig", "EMBED");
    SetEnvironmentVariableW(L"VEXMOR_STANDIN_RECORD", Join(work, L"received.txt").c_str());

    struct Case {
        const wchar_t* label;
        std::wstring commandLine;
        std::wstring output; // what the link writes
        std::vector<double> times;
    };
    const std::wstring linker = L"\"" + Join(bin, L"LINK2.exe") + L"\"";
    const std::wstring program = L"\"" + Join(bin, L"VexmorLink.exe") + L"\"";
    const std::wstring minimal = L"\"" + Join(bin, L"MinimalLink.exe") + L"\"";
    const std::wstring args = L" /NOLOGO /SUBSYSTEM:WINDOWS a.obj b.obj /OUT:\"";
    const std::wstring app = Join(standInFolder, L"version\\App.exe");
    const std::wstring com = Join(standInFolder, L"ComFixture.dll");
    const std::wstring big = argc > 4 ? argv[4] : L"";
    std::vector<Case> cases;
    if (big.empty()) {
        cases = {
            {L"stand-in linker directly", linker + args + Join(project, L"Plain.exe\""), app, {}},
            {L"minimal program", minimal + args + Join(project, L"Plain.exe\""), app, {}},
            {L"pass-through", program + args + Join(project, L"Plain.exe\""), app, {}},
            {L"configured, no manifest",
             program + args + Join(project, L"Configured.exe\""),
             app,
             {}},
            {L"configured, program manifest",
             program + args + Join(project, L"Manifest.exe\""),
             app,
             {}},
            {L"configured, COM library manifest",
             program + L" /DLL" + args + Join(project, L"ComLibrary.dll\""),
             com,
             {}},
            {L"configured, two COM: components",
             program + args + Join(project, L"Components.exe\""),
             app,
             {}},
            {L"configured, embedded manifest",
             program + args + Join(project, L"Embedded.exe\""),
             app,
             {}},
        };
    } else {
        cases = {
            {L"library, pass-through",
             program + L" /DLL" + args + Join(project, L"Plain.dll\""),
             big,
             {}},
            {L"library, manifest",
             program + L" /DLL" + args + Join(project, L"ComLibrary.dll\""),
             big,
             {}},
        };
    }
    auto run = [](const Case& c) {
        SetEnvironmentVariableW(L"VEXMOR_STANDIN_OUTPUT", c.output.c_str());
        return TimeRun(c.commandLine);
    };
    for (const Case& c : cases) run(c); // warm the caches once
    for (int i = 0; i < runs; ++i) {
        // Interleaved, so that a slow moment of the machine hits every case alike.
        for (Case& c : cases) c.times.push_back(run(c));
    }
    for (const Case& c : cases) {
        if (Median(c.times) <= 0) {
            std::fwprintf(stderr, L"a run could not be started: %ls\n", c.label);
            return 1;
        }
    }
    std::wprintf(L"runs: %d each\n", runs);
    for (const Case& c : cases) {
        const double median = Median(c.times);
        std::wprintf(L"%-34ls median %.4f s  ratio to first %.2f\n", c.label, median,
                     median / Median(cases[0].times));
    }
    auto ratio = [&](const wchar_t* label, std::size_t a, std::size_t b, const wchar_t* target) {
        std::wprintf(L"%-40ls %.2f (target at most %ls)\n", label,
                     Median(cases[a].times) / Median(cases[b].times), target);
    };
    if (!big.empty()) {
        std::wprintf(L"program's own share (manifest - pass-through): %.4f s\n",
                     Median(cases[1].times) - Median(cases[0].times));
        return 0;
    }
    ratio(L"pass-through / minimal program:", 2, 1, L"1.10");
    ratio(L"program manifest / pass-through:", 4, 2, L"1.30");
    ratio(L"COM library manifest / pass-through:", 5, 2, L"1.50 under Wine");
    ratio(L"two COM: components / pass-through:", 6, 2, L"1.60 under Wine");
    ratio(L"embedded manifest / pass-through:", 7, 2, L"1.30");
    return 0;
}
