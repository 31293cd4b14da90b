// One call into a support library: the BSTRs it takes and returns, freed when the call object
// goes, and the failure status turned into an AppError.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <array>
#include <string>

class SupportCall {
  public:
    SupportCall(const wchar_t* library, const wchar_t* operation)
        : library_(library), operation_(operation) {}
    ~SupportCall();
    SupportCall(const SupportCall&) = delete;
    SupportCall& operator=(const SupportCall&) = delete;

    // A BSTR copy of the text (embedded NULs kept), owned by this call.
    BSTR In(const std::wstring& text);
    // Where the library puts its BSTR result.
    BSTR* Out() { return &result_; }
    // Throws the AppError for a negative status.
    void Check(HRESULT status) const;
    std::wstring Text() const;
    // The result as the bytes of a SysAllocStringByteLen string.
    std::string Bytes() const;

  private:
    const wchar_t* library_;
    const wchar_t* operation_;
    std::array<BSTR, 9> inputs_{};
    size_t inputCount_ = 0;
    BSTR result_ = nullptr;
};
