#include "driver/modMain.h"

#include "driver/CommandLine.h"
#include "config/CConfig.h"
#include "config/modConfig.h"
#include "image/modImageSettings.h"
#include "log/modLog.h"
#include "manifest/modManifestConstructor.h"
#include "manifest/modManifestMain.h"
#include "platform/AnsiFile.h"
#include "platform/CommonControls.h"
#include "platform/MessageBox.h"
#include "platform/ProcessArguments.h"
#include "platform/ProcessExit.h"
#include "platform/ProgramFolder.h"
#include "platform/Unattended.h"
#include "process/modLauncher.h"
#include "support/AppError.h"
#include "support/QZVSP0100A.h"
#include "support/QZVSP0100B.h"
#include "version/modFormatVersion.h"

#include <algorithm>
#include <new>

namespace modMain {
namespace {

constexpr wchar_t kLinkerFileName[] = L"LINK2.EXE";
constexpr wchar_t kNoOutputFileText[] = L"Не удалось получить имя компилируемого файла!";

// Runs the step's script: the project's own when it has one, else the shared one in the
// program's folder (which runs only if it exists). False when the script failed.
bool RunStepScript(const std::wstring& projectScript, const wchar_t* sharedScript,
                   const BuildContext& context, const wchar_t* captureName,
                   const wchar_t* failureText) {
    std::wstring script = projectScript;
    if (!QZVSP0100B::IsFileExist(script)) {
        script = QZVSP0100B::BuildFileName(platform::ProgramFolder(), sharedScript, false);
    }
    return modLauncher::LaunchBATFile(script, context.ExeFileName, captureName, failureText);
}

// The user has been told why the linker did not start; the environment must not take this for
// a successful link.
void EndAfterFailedStart(std::uint32_t startError) {
    modManifestConstructor::StopReading();
    if (QZVSP0100B::IsInIDE()) return;
    platform::EndProcess(startError != 0 ? startError : 1);
}

bool WritesManifest(const std::vector<PostStep>& steps) {
    return std::any_of(steps.begin(), steps.end(), [](PostStep step) {
        return step == PostStep::Manifest || step == PostStep::EmbeddedManifest;
    });
}

// Runs one step after the link; false when it reported an error.
bool RunPostStep(PostStep step, const BuildContext& context) {
    switch (step) {
    case PostStep::Compress:
        return RunStepScript(context.CompressBatFileName, L"Vexmor Compress.BAT", context,
                             L"Vexmor Compress.TXT", L"Во время сжатия произошли ошибки.");
    case PostStep::Sign:
        return RunStepScript(context.SignBatFileName, L"Vexmor Sign.BAT", context,
                             L"Vexmor Sign.TXT", L"Во время подписывания произошли ошибки.");
    case PostStep::Manifest:
    case PostStep::EmbeddedManifest: {
        const bool ok = modManifestMain::WriteManifest(context, step == PostStep::EmbeddedManifest);
        modLog::WriteNotes(context, L"Manifest notes");
        return ok;
    }
    case PostStep::ImageSettings: {
        const bool ok = modImageSettings::WriteImageSettings(context);
        modLog::WriteNotes(context, modImageSettings::kNotesCaption);
        return ok;
    }
    case PostStep::PostBuild:
        break;
    }
    return !QZVSP0100B::IsFileExist(context.PostBuildBatFileName) ||
           modLauncher::LaunchBATFile(context.PostBuildBatFileName, context.ExeFileName,
                                      L"Vexmor Post Build.TXT",
                                      L"Во время выполнения post build скрипта произошли ошибки.");
}

} // namespace

int ReportUnexpectedError(std::uint32_t number, const std::wstring& description) {
    std::wstring shownNumber;
    try {
        shownNumber = QZVSP0100A::GetErrorNumber(static_cast<std::int32_t>(number));
    } catch (...) {
        shownNumber = std::to_wstring(number);
    }
    try {
        platform::ShowMessage(L"Произошла непредвиденная ошибка.\r\n\r\nError number: " +
                                  shownNumber + L"\r\nDescription: " + description,
                              platform::Icon::Error);
    } catch (...) {
        // Nothing left to tell the user with; the exit code still says it.
    }
    return number != 0 ? static_cast<int>(number) : 1;
}

int Main() {
    try {
        QZVSP0100B::RegisterAppPath();
        platform::InitCommonControls();
        if (!QZVSP0100B::IsInIDE()) {
            QZVSP0100A::SetWindowResIconAll(QZVSP0100B::GetMainWindowHandle(), L"A_MAIN");
        }
        CheckConfigAndRun();
        return 0;
    } catch (const AppError& error) {
        return ReportUnexpectedError(error.Number, error.Description);
    } catch (const std::bad_alloc&) {
        return ReportUnexpectedError(0x8007000E, L"Недостаточно памяти.");
    } catch (const std::exception&) {
        return ReportUnexpectedError(kAppErrorNumber, L"Внутренняя ошибка программы.");
    }
}

std::wstring UsageMessage() {
    const bool translate = false;
    return modFormatVersion::csGetUsageHeader(false, translate) + L"\r\n\r\n" +
           L"Похоже, программа запущена сама по себе. Так она работать " +
           L"не будет. Внимательно прочитайте ReadMe.TXT - там содержатся " +
           L"инструкции по установке.";
}

void CheckConfigAndRun() {
    BuildContext context;
    context.CommandLine =
        QZVSP0100A::TrimEx(platform::ArgumentText(platform::ProcessCommandLine()));
    if (context.CommandLine.empty()) {
        platform::ShowMessage(UsageMessage(), platform::Icon::Information);
        // A build server must not take a run that linked nothing for a link.
        if (Unattended::Active()) platform::EndProcess(1);
        return;
    }

    context.ExeFileName = modConfig::ExtractEXEFileName(context.CommandLine);
    context.IsDLL = modConfig::ExtractIsDLL(context.CommandLine);
    if (context.ExeFileName.empty()) {
        platform::ShowMessage(std::wstring(kNoOutputFileText) + L"\r\n\r\n" + context.CommandLine,
                              platform::Icon::Error);
        StartLinker(context, false);
        return;
    }

    DeriveFileNames(context);
    if (QZVSP0100B::IsInIDE()) {
        std::wstring listing;
        for (const std::wstring* name :
             {&context.ExeFileName, &context.ConfigFileName, &context.LogFileName,
              &context.DefFileName, &context.CompressBatFileName, &context.SignBatFileName,
              &context.PreBuildBatFileName, &context.PostBuildBatFileName,
              &context.ManifestFileName}) {
            listing += *name + L"\r\n";
        }
        platform::ShowMessage(listing + L"\r\n" + context.CommandLine, platform::Icon::Information);
    }
    RunLinker(context);
}

void RunLinker(BuildContext& context) {
    if (!QZVSP0100B::IsFileExist(context.ConfigFileName)) {
        StartLinker(context, false);
        return;
    }
    modLog::LogItem(L"Initial command line", context.CommandLine);
    modLog::LogFiles(context);

    context.Config = modConfig::ReadConfigFile(context);
    if (!context.Config) {
        StartLinker(context, false);
        return;
    }
    context.CommandLine = CommandLine::RewriteCommandLine(
        context.CommandLine, *context.Config, context.DefFileName, context.ConfigFileName);
    modLog::LogItem(L"Modified command line", context.CommandLine);
    modLog::LogFlush(context);

    if (QZVSP0100B::IsInIDE()) {
        platform::ShowMessage(context.CommandLine, platform::Icon::Information);
    }
    StartLinker(context, true);
}

void StartLinker(BuildContext& context, bool RunSteps) {
    // The type libraries the manifest will need are read while the build runs: the reading
    // process starts now, takes the components once the pre-build script has put them in place,
    // and reads them during the link.
    const bool readAhead = RunSteps && ReadsAhead(context);
    if (readAhead) modManifestConstructor::StartReading();
    if (RunSteps) DoAdditionalStepsPre(context);
    if (readAhead) modManifestConstructor::ReadComponents(context);

    const std::wstring linker =
        QZVSP0100B::BuildFileName(platform::ProgramFolder(), kLinkerFileName, false);
    std::wstring arguments = context.CommandLine;
    std::wstring responseFile;
    std::uint32_t startError = 0;
    if (CommandLine::LinkerCommandLineLength(linker, arguments) > CommandLine::kCommandLineLimit &&
        !CommandLine::PutInResponseFile(linker, arguments, responseFile, startError)) {
        EndAfterFailedStart(startError);
        return;
    }
    std::int32_t exitCode = 0;
    const bool started = modLauncher::LaunchProcess(linker, arguments, 0, exitCode, &startError);
    if (!responseFile.empty()) platform::RemoveFile(responseFile);
    if (!started) {
        EndAfterFailedStart(startError);
        return;
    }

    const bool stepFailed = RunSteps && exitCode == 0 && !DoAdditionalStepsPost(context);
    // A failed link needs nothing that was read ahead: nothing of it stays behind.
    modManifestConstructor::StopReading();
    if (!QZVSP0100B::IsInIDE()) {
        platform::EndProcess(Unattended::ExitCode(static_cast<std::uint32_t>(exitCode), stepFailed,
                                                  Unattended::Active()));
    }
}

void DoAdditionalStepsPre(const BuildContext& context) {
    if (QZVSP0100B::IsFileExist(context.PreBuildBatFileName)) {
        modLauncher::LaunchBATFile(context.PreBuildBatFileName, context.ExeFileName,
                                   L"Vexmor Pre Build.TXT",
                                   L"Во время выполнения pre build произошли ошибки.");
    }
}

std::vector<PostStep> PostSteps(const CConfig& config, bool isDLL) {
    // A program gets its manifest unless told not to; a library only when asked for one.
    const bool manifest = !config.SET_NOMANIFEST() && (config.SET_MANIFEST() || !isDLL);
    // An embedded manifest must be in place before the scripts compress or sign the file: a
    // change after signing would break the signature.
    const bool embed = manifest && config.SET_EMBED();
    std::vector<PostStep> steps;
    if (embed) steps.push_back(PostStep::EmbeddedManifest);
    // On the file as linked and embedded: a compress script may take the relocations out, and
    // a signature must come last.
    if (modImageSettings::Wanted(config)) steps.push_back(PostStep::ImageSettings);
    if (config.SET_COMPRESS()) steps.push_back(PostStep::Compress);
    if (config.SET_SIGN()) steps.push_back(PostStep::Sign);
    if (manifest && !embed) steps.push_back(PostStep::Manifest);
    steps.push_back(PostStep::PostBuild);
    return steps;
}

const wchar_t* StepName(PostStep step) {
    switch (step) {
    case PostStep::Compress:
        return L"сжатие";
    case PostStep::Sign:
        return L"подписывание";
    case PostStep::Manifest:
        return L"манифест";
    case PostStep::EmbeddedManifest:
        return L"встраивание манифеста";
    case PostStep::ImageSettings:
        return modImageSettings::kStepName;
    case PostStep::PostBuild:
        break;
    }
    return L"post build";
}

bool ReadsAhead(const BuildContext& context) {
    const std::vector<PostStep> steps = PostSteps(*context.Config, context.IsDLL);
    return WritesManifest(steps) && (context.IsDLL || !context.Config->SET_COM().empty());
}

bool DoAdditionalStepsPost(const BuildContext& context) {
    const std::vector<PostStep> steps = PostSteps(*context.Config, context.IsDLL);
    // The output's type library is read first, before a compress or sign script rewrites the
    // file; the reading process is gone before they start.
    if (WritesManifest(steps)) modManifestConstructor::ReadOutput(context);
    bool ok = true;
    for (PostStep step : steps) ok &= RunPostStep(step, context);
    return ok;
}

} // namespace modMain
