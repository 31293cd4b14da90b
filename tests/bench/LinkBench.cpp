// Measures what the program costs a build: the stand-in linker started directly, and through a
// minimal program that makes the same start-up calls (the baseline of the program's own cost),
// against the same link started through the program, in pass-through mode, as a configured build
// without scripts and manifest, as one that writes a program's manifest, as one that writes a
// COM library's and as one that embeds a program's manifest. The stand-in writes a real output file
// every time, as a link would. The direct run and the cases that read type libraries are measured
// again with a stand-in that computes for about 0.3 s first, as a real link does, its amount of
// work calibrated once at the start and then the same for every case. Prints medians and the
// ratios that judge the program, with their targets; a benchmark, not a test (nothing is
// asserted).
//
//   LinkBench.exe <folder with VexmorLink.exe and its libraries> <test folder> [runs] [library]
// The test folder holds LINK2.exe, MinimalLink.exe, version\App.exe and ComFixture.dll. Given a
// library, only that library is linked: passed through and with its manifest written, and the
// difference is printed.

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cstdint>
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

void SetWork(std::uint32_t rounds) {
    SetEnvironmentVariableW(L"VEXMOR_STANDIN_WORK",
                            rounds ? std::to_wstring(rounds).c_str() : nullptr);
}

// The stand-in's rounds of work that take about the given seconds beyond its own run: a few
// direct runs without work and with growing work, scaled, then checked and scaled once more.
std::uint32_t Calibrate(const std::wstring& linker, double seconds) {
    auto spent = [&](std::uint32_t rounds) {
        SetWork(rounds);
        std::vector<double> times;
        for (int i = 0; i < 3; ++i) times.push_back(TimeRun(linker));
        return Median(times);
    };
    auto scaled = [&](std::uint32_t rounds, double work) {
        return static_cast<std::uint32_t>(std::min(4e9, rounds * seconds / std::max(work, 1e-3)));
    };
    const double bare = spent(0);
    std::uint32_t rounds = 1u << 22;
    double work = spent(rounds) - bare;
    for (; work < 0.1 && rounds < (1u << 30); work = spent(rounds) - bare) rounds *= 4;
    rounds = scaled(rounds, work);
    rounds = scaled(rounds, spent(rounds) - bare);
    SetWork(0);
    return rounds;
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
    // The reading process's program, where the build has one (an older one's plays it itself).
    CopyFileW(Join(programFolder, L"VexmorLinkReader.exe").c_str(),
              Join(bin, L"VexmorLinkReader.exe").c_str(), FALSE);
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
        std::wstring label;
        std::wstring commandLine;
        std::wstring output; // what the link writes
        std::vector<double> times;
        std::uint32_t work = 0; // the stand-in's rounds of computation
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
    // The same cases, where the reading can overlap the link, with a link of about 0.3 s.
    const std::size_t slow = cases.size();
    std::uint32_t rounds = 0;
    if (big.empty()) {
        SetEnvironmentVariableW(L"VEXMOR_STANDIN_OUTPUT", app.c_str());
        rounds = Calibrate(cases[0].commandLine, 0.3);
        for (std::size_t index : {0, 2, 4, 5, 6}) {
            Case c = cases[index];
            c.label += L" (0.3 s link)";
            c.work = rounds;
            cases.push_back(c);
        }
    }
    auto run = [](const Case& c) {
        SetEnvironmentVariableW(L"VEXMOR_STANDIN_OUTPUT", c.output.c_str());
        SetWork(c.work);
        return TimeRun(c.commandLine);
    };
    for (const Case& c : cases) run(c); // warm the caches once
    for (int i = 0; i < runs; ++i) {
        // Interleaved, so that a slow moment of the machine hits every case alike.
        for (Case& c : cases) c.times.push_back(run(c));
    }
    for (const Case& c : cases) {
        if (Median(c.times) <= 0) {
            std::fwprintf(stderr, L"a run could not be started: %ls\n", c.label.c_str());
            return 1;
        }
    }
    std::wprintf(L"runs: %d each\n", runs);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const double median = Median(cases[i].times);
        std::wprintf(L"%-46ls median %.4f s  ratio to first %.2f\n", cases[i].label.c_str(), median,
                     median / Median(cases[i < slow ? 0 : slow].times));
    }
    auto ratio = [&](const wchar_t* label, std::size_t a, std::size_t b, const wchar_t* target) {
        std::wprintf(L"%-54ls %.2f (target at most %ls)\n", label,
                     Median(cases[a].times) / Median(cases[b].times), target);
    };
    if (!big.empty()) {
        std::wprintf(L"big library share: %.4f s (manifest - pass-through; target at most 0.45)\n",
                     Median(cases[1].times) - Median(cases[0].times));
        return 0;
    }
    std::wprintf(L"0.3 s link: VEXMOR_STANDIN_WORK=%lu, the stand-in directly %.4f s (median)\n",
                 static_cast<unsigned long>(rounds), Median(cases[slow].times));
    ratio(L"pass-through / minimal program:", 2, 1, L"1.10");
    ratio(L"program manifest / pass-through:", 4, 2, L"1.30");
    ratio(L"COM library manifest / pass-through:", 5, 2, L"1.50 under Wine");
    ratio(L"two COM: components / pass-through:", 6, 2, L"1.60 under Wine");
    ratio(L"embedded manifest / pass-through:", 7, 2, L"1.30");
    ratio(L"program manifest / pass-through (0.3 s link):", slow + 2, slow + 1, L"1.30");
    ratio(L"COM library manifest / pass-through (0.3 s link):", slow + 3, slow + 1, L"1.10");
    ratio(L"two COM: components / pass-through (0.3 s link):", slow + 4, slow + 1, L"1.15");
    return 0;
}
