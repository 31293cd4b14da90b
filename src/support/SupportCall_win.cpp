#include "support/SupportCall_win.h"

#include "support/SupportFailure.h"

#include <cstdint>

namespace {

// The system's text for a status, empty when it has none. Win32 codes wrapped in an HRESULT
// are looked up as themselves, which every system knows.
std::wstring StatusText(HRESULT status) {
    DWORD code = static_cast<DWORD>(status);
    if (HRESULT_FACILITY(status) == FACILITY_WIN32) code = HRESULT_CODE(status);
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    std::wstring text;
    if (length != 0 && buffer) text.assign(buffer, length);
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
        text.pop_back();
    }
    return text;
}

} // namespace

SupportCall::~SupportCall() {
    for (size_t i = 0; i < inputCount_; ++i) SysFreeString(inputs_[i]);
    SysFreeString(result_);
}

BSTR SupportCall::In(const std::wstring& text) {
    if (inputCount_ == inputs_.size()) Check(E_UNEXPECTED);
    if (text.size() > 0x3FFFFFFF) Check(E_OUTOFMEMORY);
    BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!copy) Check(E_OUTOFMEMORY);
    inputs_[inputCount_++] = copy;
    return copy;
}

void SupportCall::Check(HRESULT status) const {
    if (status >= 0) return;
    throw SupportFailure::Make(static_cast<std::int32_t>(status), library_, operation_,
                               StatusText(status));
}

std::wstring SupportCall::Text() const {
    return result_ ? std::wstring(result_, SysStringLen(result_)) : std::wstring();
}

std::string SupportCall::Bytes() const {
    return result_ ? std::string(reinterpret_cast<const char*>(result_), SysStringByteLen(result_))
                   : std::string();
}
