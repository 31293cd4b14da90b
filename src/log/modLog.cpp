#include "log/modLog.h"

#include "context/BuildContext.h"
#include "platform/AnsiFile.h"
#include "platform/MessageBox.h"
#include "support/AppError.h"
#include "support/QZVSP0100A.h"
#include "support/QZVSP0100B.h"

namespace modLog {
namespace {

std::wstring g_logText;
std::wstring g_flushedText; // what the last LogFlush wrote, before trimming
std::vector<std::wstring> g_notes;

} // namespace

void LogItem(const std::wstring& caption, const std::wstring& value) {
    if (value.empty()) return;
    g_logText += caption.empty() ? caption : caption + L":";
    g_logText += L"\r\n" + value + L"\r\n\r\n";
}

std::wstring GetFileLine(const std::wstring& fileName) {
    return (QZVSP0100B::IsFileExist(fileName) ? L"[*] " : L"[ ] ") + fileName;
}

void LogFiles(const BuildContext& context) {
    const std::wstring* names[] = {
        &context.ExeFileName,         &context.ConfigFileName,       &context.LogFileName,
        &context.DefFileName,         &context.CompressBatFileName,  &context.SignBatFileName,
        &context.PreBuildBatFileName, &context.PostBuildBatFileName,
    };
    std::wstring lines;
    for (const std::wstring* name : names) {
        if (!lines.empty()) lines += L"\r\n";
        lines += GetFileLine(*name);
    }
    LogItem(L"File names", lines);
}

void LogFlush(const BuildContext& context) {
    std::wstring text;
    try {
        text = QZVSP0100A::TrimCRLF(g_logText);
    } catch (const AppError&) {
        // Like every other failure here, ignored: an empty text is written.
    }
    std::string bytes;
    try {
        bytes = platform::ToAnsi(text);
    } catch (const AppError& error) {
        // Unlike a file that cannot be written, a text that cannot be converted would go out as
        // an empty log that looks like a good one: write nothing and say why.
        g_logText.clear();
        platform::ShowMessage(
            L"Не удалось записать журнал сборки\r\n" + context.LogFileName +
                L"\r\n\r\nError number: " +
                QZVSP0100A::GetErrorNumber(static_cast<std::int32_t>(error.Number)) +
                L"\r\nDescription: " + error.Description,
            platform::Icon::Warning);
        return;
    }
    platform::ReplaceFileContent(context.LogFileName, bytes);
    g_flushedText = g_logText;
    g_logText.clear();
}

const std::wstring& LogText() {
    return g_logText;
}

void AddNote(const std::wstring& note) {
    g_notes.push_back(note);
}

const std::vector<std::wstring>& Notes() {
    return g_notes;
}

void WriteNotes(const BuildContext& context, const std::wstring& caption) {
    if (g_notes.empty()) return;
    std::wstring lines;
    for (const std::wstring& note : g_notes) lines += (lines.empty() ? L"" : L"\r\n") + note;
    g_notes.clear();
    g_logText = g_flushedText;
    LogItem(caption, lines);
    LogFlush(context);
}

} // namespace modLog
