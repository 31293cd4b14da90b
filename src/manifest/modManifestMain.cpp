#include "manifest/modManifestMain.h"

#include "context/BuildContext.h"
#include "manifest/ManifestXml.h"
#include "manifest/modManifestConstructor.h"
#include "platform/AnsiFile.h"
#include "platform/MessageBox.h"
#include "support/AppError.h"
#include "support/ErrorText.h"
#include "support/QZVSP0100A.h"

#include <cstdint>

namespace modManifestMain {
namespace {

constexpr std::uint32_t kSharingViolation = 32; // ERROR_SHARING_VIOLATION

void ShowWriteFailure(const BuildContext& context, std::uint32_t number,
                      const std::wstring& description) {
    std::wstring shownNumber;
    try {
        shownNumber = QZVSP0100A::GetErrorNumber(static_cast<std::int32_t>(number));
    } catch (const AppError&) {
        shownNumber = std::to_wstring(number);
    }
    platform::ShowMessage(context.ManifestFileName +
                              L"\r\n\r\nВо время записи манифеста возникла ошибка.\r\n\r\n"
                              L"Error number: " +
                              shownNumber + L"\r\nDescription:  " +
                              ErrorText::WithFileName(description, context.ManifestFileName),
                          platform::Icon::Error);
}

} // namespace

std::string ApplyPadding(std::string bytes) {
    // Windows reads a manifest resource or file in whole 32-bit units.
    while (bytes.size() % 4 != 0) bytes += ' ';
    return bytes;
}

std::string GetManifestBytes(const BuildContext& context) {
    const std::wstring text = modManifestConstructor::GetManifestText(context);
    if (text.empty()) return std::string();
    std::string bytes = ApplyPadding(QZVSP0100A::UnicodeToUtf8(text));
    // The last check before anything is written: the bytes as they would be written, read by
    // the same XML component that reads other assemblies' manifests.
    std::wstring reason;
    if (!ManifestXml::CheckDocument(bytes, reason)) {
        modManifestConstructor::ShowGenerationFailure(context, L"GetManifestBody", reason);
        return std::string();
    }
    return bytes;
}

bool WriteManifest(const BuildContext& context) {
    try {
        const std::string bytes = GetManifestBytes(context);
        if (bytes.empty()) return false; // the failure has been shown; an earlier manifest stays
        std::uint32_t error = 0;
        // Whole or not at all: a failed write leaves an earlier manifest as it was.
        if (!platform::ReplaceFileContent(context.ManifestFileName, bytes, &error)) {
            ShowWriteFailure(context, error,
                             error == kSharingViolation
                                 ? L"Файл манифеста открыт другой программой и не может быть "
                                   L"заменён."
                                 : QZVSP0100A::GetAPIErrorDescription(error));
            return false;
        }
        return true;
    } catch (const AppError& failure) {
        ShowWriteFailure(context, failure.Number, failure.Description);
        return false;
    }
}

} // namespace modManifestMain
