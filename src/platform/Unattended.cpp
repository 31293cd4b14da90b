#include "platform/Unattended.h"

#include "AppInfo.h"

namespace Unattended {

bool IsRequested(const std::optional<std::wstring>& value) {
    return value == L"1";
}

bool Active() {
    return IsRequested(platform::EnvironmentValue(kVariable));
}

std::wstring Line(const std::wstring& text, platform::Icon icon) {
    std::wstring line = VEXMOR_TITLE_W L": ";
    switch (icon) {
    case platform::Icon::Error:
        line += L"error: ";
        break;
    case platform::Icon::Warning:
        line += L"warning: ";
        break;
    case platform::Icon::Information:
        line += L"note: ";
        break;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            line += L" | ";
            ++i;
        } else {
            line += text[i];
        }
    }
    return line + L"\r\n";
}

platform::Answer SafeAnswer(platform::Buttons buttons) {
    return buttons == platform::Buttons::Ok ? platform::Answer::Ok : platform::Answer::Cancel;
}

std::uint32_t ExitCode(std::uint32_t linkerExitCode, bool stepFailed, bool unattended) {
    return unattended && stepFailed && linkerExitCode == 0 ? 1 : linkerExitCode;
}

} // namespace Unattended
