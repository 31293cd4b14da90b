// The environment support library's operations through QZVSP0100B.DLL.
#include "support/QZVSP0100B.h"

#include "QZVSP0100B/QZVSP0100B_api.h"
#include "support/SupportCall_win.h"

namespace QZVSP0100B {
namespace {

const wchar_t kLibrary[] = L"QZVSP0100B.DLL";

VARIANT_BOOL Flag(bool value) {
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

// The operations that answer yes or no.
template <class Operation> bool Ask(const wchar_t* name, Operation operation) {
    SupportCall call(kLibrary, name);
    VARIANT_BOOL answer = VARIANT_FALSE;
    call.Check(operation(&answer));
    return answer != VARIANT_FALSE;
}

} // namespace

bool RegisterAppPath() {
    return Ask(L"RegisterAppPath", [](VARIANT_BOOL* answer) { return ::RegisterAppPath(answer); });
}

bool IsInIDE() {
    return Ask(L"IsInIDE", [](VARIANT_BOOL* answer) { return ::IsInIDE(answer); });
}

std::uintptr_t GetMainWindowHandle() {
    SupportCall call(kLibrary, L"GetMainWindowHandle");
    HWND window = nullptr;
    call.Check(::GetMainWindowHandle(&window));
    return reinterpret_cast<std::uintptr_t>(window);
}

bool IsFileExist(const std::wstring& fileName) {
    SupportCall call(kLibrary, L"IsFileExist");
    VARIANT_BOOL answer = VARIANT_FALSE;
    call.Check(::IsFileExist(call.In(fileName), &answer));
    return answer != VARIANT_FALSE;
}

std::wstring ReplaceFileExtension(const std::wstring& fileName, const std::wstring& newExtension) {
    SupportCall call(kLibrary, L"ReplaceFileExtension");
    call.Check(::ReplaceFileExtension(call.In(fileName), call.In(newExtension), call.Out()));
    return call.Text();
}

std::wstring GetFileExtension(const std::wstring& fileName) {
    SupportCall call(kLibrary, L"GetFileExtension");
    call.Check(::GetFileExtension(call.In(fileName), call.Out()));
    return call.Text();
}

std::wstring GetFileName(const std::wstring& path, bool withoutExtension) {
    SupportCall call(kLibrary, L"GetFileName");
    call.Check(::GetFileName(call.In(path), Flag(withoutExtension), call.Out()));
    return call.Text();
}

std::wstring GetFilePath(const std::wstring& fileName) {
    SupportCall call(kLibrary, L"GetFilePath");
    call.Check(::GetFilePath(call.In(fileName), call.Out()));
    return call.Text();
}

std::wstring GetAbsoluteFileName(const std::wstring& fileName, const std::wstring& baseFolder) {
    SupportCall call(kLibrary, L"GetAbsoluteFileName");
    call.Check(::GetAbsoluteFileName(call.In(fileName), call.In(baseFolder), call.Out()));
    return call.Text();
}

std::wstring GetTempFolder() {
    SupportCall call(kLibrary, L"GetTempFolder");
    call.Check(::GetTempFolder(call.Out()));
    return call.Text();
}

std::wstring BuildFileName(const std::wstring& folder, const std::wstring& fileName, bool quote) {
    SupportCall call(kLibrary, L"BuildFileName");
    call.Check(::BuildFileName(call.In(folder), call.In(fileName), Flag(quote), call.Out()));
    return call.Text();
}

std::wstring BuildFileName2(const std::wstring& folder, const std::wstring& fileName,
                            const std::wstring& part3, const std::wstring& part4,
                            const std::wstring& part5, const std::wstring& part6,
                            const std::wstring& part7, const std::wstring& part8,
                            const std::wstring& part9) {
    SupportCall call(kLibrary, L"BuildFileName2");
    call.Check(::BuildFileName2(call.In(folder), call.In(fileName), call.In(part3), call.In(part4),
                                call.In(part5), call.In(part6), call.In(part7), call.In(part8),
                                call.In(part9), call.Out()));
    return call.Text();
}

bool IsHostWinNT() {
    return Ask(L"IsHostWinNT", [](VARIANT_BOOL* answer) { return ::IsHostWinNT(answer); });
}

bool IsHostWin9x() {
    return Ask(L"IsHostWin9x", [](VARIANT_BOOL* answer) { return ::IsHostWin9x(answer); });
}

std::uint16_t HiWord(std::uint32_t value) {
    SupportCall call(kLibrary, L"HiWord");
    WORD word = 0;
    call.Check(::HiWord(value, &word));
    return word;
}

std::uint16_t LoWord(std::uint32_t value) {
    SupportCall call(kLibrary, L"LoWord");
    WORD word = 0;
    call.Check(::LoWord(value, &word));
    return word;
}

std::wstring Hex2(std::uint16_t value) {
    SupportCall call(kLibrary, L"Hex2");
    call.Check(::Hex2(value, call.Out()));
    return call.Text();
}

} // namespace QZVSP0100B
