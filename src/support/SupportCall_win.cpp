#include "support/SupportCall_win.h"

#include "support/SupportFailure.h"

#include "QZVSP0100A/QZVSP0100A_api.h"

#include <cstdint>

namespace {

// The system's text for a status. Win32 codes wrapped in an HRESULT are looked up as themselves,
// which every system knows; the string library words them as the program does everywhere else.
std::wstring StatusText(HRESULT status) {
    DWORD code = static_cast<DWORD>(status);
    if (HRESULT_FACILITY(status) == FACILITY_WIN32) code = HRESULT_CODE(status);
    BSTR text = nullptr;
    std::wstring result;
    if (SUCCEEDED(::GetAPIErrorDescription(code, &text)) && text) {
        result.assign(text, SysStringLen(text));
    }
    SysFreeString(text);
    return result;
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
