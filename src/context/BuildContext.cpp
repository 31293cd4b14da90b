#include "context/BuildContext.h"

#include "support/QZVSP0100B.h"

void DeriveFileNames(BuildContext& context) {
    const std::wstring& exe = context.ExeFileName;
    context.ConfigFileName = QZVSP0100B::ReplaceFileExtension(exe, L"LinkConfig");
    context.LogFileName = QZVSP0100B::ReplaceFileExtension(exe, L"LinkLog");
    context.DefFileName = QZVSP0100B::ReplaceFileExtension(exe, L"DEF");
    context.CompressBatFileName = QZVSP0100B::ReplaceFileExtension(exe, L"Compress.BAT");
    context.SignBatFileName = QZVSP0100B::ReplaceFileExtension(exe, L"Sign.BAT");
    context.PreBuildBatFileName = QZVSP0100B::ReplaceFileExtension(exe, L"PreBuild.BAT");
    context.PostBuildBatFileName = QZVSP0100B::ReplaceFileExtension(exe, L"PostBuild.BAT");
    context.ManifestFileName = exe + L".manifest";
}
