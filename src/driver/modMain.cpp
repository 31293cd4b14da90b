#include "driver/modMain.h"

#include "config/CConfig.h"
#include "config/modConfig.h"
#include "log/modLog.h"
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

#include <new>

namespace modMain {
namespace {

constexpr wchar_t kLinkerFileName[] = L"LINK2.EXE";
constexpr wchar_t kNoOutputFileText[] = L"Не удалось получить имя компилируемого файла!";
// The longest command line the platform starts a program with, its terminating zero included.
constexpr size_t kCommandLineLimit = 32767;
constexpr std::uint32_t kNoUnicodeTranslation = 1113; // ERROR_NO_UNICODE_TRANSLATION

// The value as one quoted argument by the rules the C run-time splits command lines with: a
// quote inside is written \", and backslashes are doubled where they stand before a quote or
// before the closing one. So the linker receives exactly the value, whatever it holds.
std::wstring QuotedArgument(const std::wstring& value) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : value) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

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

// What the launcher hands the platform: the quoted program, a blank, the arguments, and the
// terminating zero, which the platform's limit counts too.
size_t LinkerCommandLineLength(const std::wstring& linker, const std::wstring& arguments) {
    return linker.size() + 3 + arguments.size() + 1;
}

// The user has been told why the linker did not start; the environment must not take this for
// a successful link.
void EndAfterFailedStart(std::uint32_t startError) {
    if (QZVSP0100B::IsInIDE()) return;
    platform::EndProcess(startError != 0 ? startError : 1);
}

void ShowStartFailure(const std::wstring& linker, std::uint32_t error,
                      const std::wstring& description) {
    platform::ShowMessage(
        modLauncher::StartFailureText(
            linker, QZVSP0100A::GetErrorNumber(static_cast<std::int32_t>(error)), description),
        platform::Icon::Error);
}

// A command line longer than the platform takes goes to the linker in a response file, in the
// ANSI code page that the linker reads such files in; the arguments become @"file". A line cut
// short would be a different link. False, after telling the user, when that cannot be done.
bool PutInResponseFile(const std::wstring& linker, std::wstring& arguments,
                       std::wstring& responseFile, std::uint32_t& error) {
    bool exact = false;
    std::string bytes;
    try {
        bytes = platform::ToAnsi(arguments, &exact);
    } catch (const AppError& failure) {
        error = failure.Number;
        ShowStartFailure(linker, error, failure.Description);
        return false;
    }
    if (!exact) {
        error = kNoUnicodeTranslation;
        ShowStartFailure(linker, error,
                         L"Командная строка компоновщика длиннее " +
                             std::to_wstring(kCommandLineLimit - 1) +
                             L" знаков, поэтому передаётся ему в файле ответов в кодовой "
                             L"странице ANSI, но в ней есть знаки, которых в этой кодовой "
                             L"странице нет.");
        return false;
    }
    if (!platform::WriteNewFile(QZVSP0100B::GetTempFolder(), L"Vexmor Link ", L".rsp", bytes,
                                responseFile, &error)) {
        ShowStartFailure(linker, error,
                         L"Не удалось записать файл ответов для длинной командной строки во "
                         L"временную папку. " +
                             QZVSP0100A::GetAPIErrorDescription(error));
        return false;
    }
    arguments = L"@\"" + responseFile + L"\"";
    return true;
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

std::wstring ReplaceSwitch(const std::wstring& commandLine, const std::wstring& search,
                           const std::wstring& replacement) {
    std::wstring text = L" " + commandLine;
    for (size_t at = text.find(search); at != std::wstring::npos;
         at = text.find(search, at + replacement.size())) {
        text.replace(at, search.size(), replacement);
    }
    if (!text.empty() && text[0] == L' ') text.erase(0, 1);
    return text;
}

std::wstring RewriteCommandLine(const std::wstring& commandLine, const CConfig& config,
                                const std::wstring& defFileName,
                                const std::wstring& configFileName) {
    std::wstring line = commandLine;
    if (config.SET_COFF()) line = ReplaceSwitch(line, L" /DEBUGTYPE:CV", L" /DEBUGTYPE:COFF");
    if (config.SET_CONSOLE()) {
        line = ReplaceSwitch(line, L" /SUBSYSTEM:WINDOWS", L" /SUBSYSTEM:CONSOLE");
    }
    if (config.SET_MAP()) line += L" /MAP";
    if (config.SET_MAP_EXPORTS()) line += L" /MAPINFO:EXPORTS";
    if (config.SET_MAP_FIXUPS()) line += L" /MAPINFO:FIXUPS";
    if (config.SET_MAP_LINES()) line += L" /MAPINFO:LINES";

    const std::wstring configFolder = QZVSP0100B::GetFilePath(configFileName);
    if (config.SET_DEF()) {
        // The definition file sits beside the configuration file: resolve its bare name there,
        // so that a relative output name does not put the folder in twice.
        const std::wstring defName = QZVSP0100B::GetFileName(defFileName, false);
        line += L" /DEF:" + QuotedArgument(QZVSP0100B::GetAbsoluteFileName(defName, configFolder));
    }
    const std::wstring comment = config.SET_COMMENT();
    if (!comment.empty()) line += L" /COMMENT:" + QuotedArgument(comment);
    const std::wstring stub = config.SET_STUB();
    if (!stub.empty()) {
        line += L" /STUB:" + QuotedArgument(QZVSP0100B::GetAbsoluteFileName(stub, configFolder));
    }
    return line;
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
    context.CommandLine = RewriteCommandLine(context.CommandLine, *context.Config,
                                             context.DefFileName, context.ConfigFileName);
    modLog::LogItem(L"Modified command line", context.CommandLine);
    modLog::LogFlush(context);

    if (QZVSP0100B::IsInIDE()) {
        platform::ShowMessage(context.CommandLine, platform::Icon::Information);
    }
    StartLinker(context, true);
}

void StartLinker(BuildContext& context, bool RunSteps) {
    if (RunSteps) DoAdditionalStepsPre(context);

    const std::wstring linker =
        QZVSP0100B::BuildFileName(platform::ProgramFolder(), kLinkerFileName, false);
    std::wstring arguments = context.CommandLine;
    std::wstring responseFile;
    std::uint32_t startError = 0;
    if (LinkerCommandLineLength(linker, arguments) > kCommandLineLimit &&
        !PutInResponseFile(linker, arguments, responseFile, startError)) {
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

bool DoAdditionalStepsPost(const BuildContext& context) {
    const CConfig& config = *context.Config;
    bool ok = true;
    if (config.SET_COMPRESS()) {
        ok &= RunStepScript(context.CompressBatFileName, L"Vexmor Compress.BAT", context,
                            L"Vexmor Compress.TXT", L"Во время сжатия произошли ошибки.");
    }
    if (config.SET_SIGN()) {
        ok &= RunStepScript(context.SignBatFileName, L"Vexmor Sign.BAT", context,
                            L"Vexmor Sign.TXT", L"Во время подписывания произошли ошибки.");
    }
    // A program gets its manifest unless told not to; a library only when asked for one.
    if (!config.SET_NOMANIFEST() && (config.SET_MANIFEST() || !context.IsDLL)) {
        ok &= modManifestMain::WriteManifest(context);
        modLog::WriteNotes(context);
    }
    if (QZVSP0100B::IsFileExist(context.PostBuildBatFileName)) {
        ok &= modLauncher::LaunchBATFile(
            context.PostBuildBatFileName, context.ExeFileName, L"Vexmor Post Build.TXT",
            L"Во время выполнения post build скрипта произошли ошибки.");
    }
    return ok;
}

} // namespace modMain
