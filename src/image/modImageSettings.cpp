#include "image/modImageSettings.h"

#include "config/CConfig.h"
#include "context/BuildContext.h"
#include "image/PeHeader.h"
#include "log/modLog.h"
#include "platform/AnsiFile.h"
#include "platform/ImageChecksum.h"
#include "platform/MessageBox.h"
#include "support/AppError.h"
#include "support/ErrorText.h"
#include "support/QZVSP0100A.h"

namespace modImageSettings {
namespace {

constexpr std::uint32_t kSharingViolation = 32; // ERROR_SHARING_VIOLATION
constexpr std::uint32_t kBadExeFormat = 193;    // ERROR_BAD_EXE_FORMAT

bool ShowFailure(const std::wstring& fileName, std::uint32_t number,
                 const std::wstring& description) {
    platform::ShowMessage(
        ErrorText::StepFailure(fileName,
                               std::wstring(L"Не удалось изменить параметры образа (шаг «") +
                                   kStepName + L"»); файл остался без изменений.",
                               number, description),
        platform::Icon::Error);
    return false;
}

std::wstring Description(std::uint32_t error) {
    return error == kSharingViolation ? std::wstring(L"Файл открыт другой программой.")
                                      : QZVSP0100A::GetAPIErrorDescription(error);
}

// The bytes' checksum field set to what the platform computes for them.
bool WithCheckSum(std::string& bytes, const PeHeader::Layout& layout, std::uint32_t* error) {
    std::uint32_t sum = 0;
    if (!ImageChecksum::Compute(bytes, sum, error)) return false;
    PeHeader::SetCheckSum(bytes, layout, sum);
    return true;
}

} // namespace

bool Wanted(const CConfig& config) {
    return config.SET_LARGEADDRESSAWARE() || config.SET_NXCOMPAT() || config.SET_DYNAMICBASE() ||
           config.SET_TSAWARE();
}

bool WriteImageSettings(const BuildContext& context) {
    const CConfig& config = *context.Config;
    const std::wstring& file = context.ExeFileName;
    try {
        std::string bytes;
        std::uint32_t error = 0;
        if (!platform::ReadWholeFile(file, bytes, &error))
            return ShowFailure(file, error, Description(error));
        const auto layout = PeHeader::Find(bytes);
        if (!layout) {
            return ShowFailure(file, kBadExeFormat,
                               L"Файл не является программой или библиотекой Windows для "
                               L"процессоров x86 или x64, или его заголовки повреждены.");
        }
        const PeHeader::Outcome outcome =
            PeHeader::Apply(bytes, *layout,
                            {config.SET_LARGEADDRESSAWARE(), config.SET_NXCOMPAT(),
                             config.SET_DYNAMICBASE(), config.SET_TSAWARE()});
        if (outcome.DynamicBaseRefused) {
            platform::ShowMessage(
                file + L"\r\n\r\nВ файле нет таблицы перемещений, поэтому признак DYNAMICBASE "
                       L"(ASLR) не установлен: Windows будет загружать файл только по его "
                       L"базовому адресу. Обычно таблицу перемещений убирает ключ /FIXED в "
                       L"командной строке компоновщика.",
                platform::Icon::Warning);
        }
        if (outcome.TerminalServerSkipped) {
            modLog::AddNote(L"TSAWARE действует только для программ: у библиотеки " + file +
                            L" этот признак не установлен.");
        }
        // Every flag in place already: the file is not touched at all.
        if (!outcome.Changed) return true;
        if (!WithCheckSum(bytes, *layout, &error) ||
            !platform::ReplaceFileContent(file, bytes, &error))
            return ShowFailure(file, error, Description(error));
        return true;
    } catch (const AppError& failure) {
        return ShowFailure(file, failure.Number, failure.Description);
    }
}

bool MendCheckSum(const std::wstring& fileName, std::uint32_t* error) {
    std::string bytes;
    if (!platform::ReadWholeFile(fileName, bytes, error)) return false;
    const auto layout = PeHeader::Find(bytes);
    if (!layout) return true; // no image of ours to sum
    const std::uint32_t stored = PeHeader::CheckSum(bytes, *layout);
    if (stored == 0) return true;
    if (!WithCheckSum(bytes, *layout, error)) return false;
    return PeHeader::CheckSum(bytes, *layout) == stored ||
           platform::ReplaceFileContent(fileName, bytes, error);
}

} // namespace modImageSettings
