// The record of one run: the output file, the names derived from it, the command line and
// the project's options. Every subsystem receives it; it sits below all of them.
#pragma once

#include <memory>
#include <string>

class CConfig;

struct BuildContext {
    std::wstring ExeFileName;
    std::wstring ConfigFileName;
    std::wstring LogFileName;
    std::wstring DefFileName;
    std::wstring CompressBatFileName;
    std::wstring SignBatFileName;
    std::wstring PreBuildBatFileName;
    std::wstring PostBuildBatFileName;
    std::wstring ManifestFileName;
    bool IsDLL = false;
    std::wstring CommandLine;
    std::shared_ptr<const CConfig> Config;
};

// Fills the file names beside the output file from ExeFileName.
void DeriveFileNames(BuildContext& context);
