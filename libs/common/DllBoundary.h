// What both support libraries do at their C boundary: BSTRs in and out, booleans as
// VARIANT_BOOL, and no C++ exception ever leaving the library.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <limits>
#include <new>
#include <string>
#include <string_view>

namespace DllBoundary {

// A NULL BSTR is the empty string.
inline std::wstring_view View(BSTR text) {
    return text ? std::wstring_view(text, SysStringLen(text)) : std::wstring_view();
}

inline bool Flag(VARIANT_BOOL value) {
    return value != VARIANT_FALSE;
}
inline VARIANT_BOOL Flag(bool value) {
    return value ? VARIANT_TRUE : VARIANT_FALSE;
}

inline HRESULT Deliver(std::wstring_view text, BSTR* result) {
    if (text.size() > std::numeric_limits<UINT>::max() / sizeof(wchar_t)) return E_OUTOFMEMORY;
    *result = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *result ? S_OK : E_OUTOFMEMORY;
}

inline HRESULT DeliverBytes(std::string_view bytes, BSTR* result) {
    if (bytes.size() > std::numeric_limits<UINT>::max() - sizeof(wchar_t)) return E_OUTOFMEMORY;
    *result = SysAllocStringByteLen(bytes.data(), static_cast<UINT>(bytes.size()));
    return *result ? S_OK : E_OUTOFMEMORY;
}

// The status for a failed host call; fallback stands in when the host left no error code.
inline HRESULT LastErrorStatus(DWORD fallback = ERROR_GEN_FAILURE) {
    DWORD error = GetLastError();
    return HRESULT_FROM_WIN32(error != ERROR_SUCCESS ? error : fallback);
}

template <class Body> HRESULT Run(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// Checks and clears the result pointer before the body runs: a failed call leaves nothing for
// the caller to free, since every body delivers its result as its last step.
template <class Out, class Body> HRESULT Run(Out* result, Body&& body) noexcept {
    if (!result) return E_INVALIDARG;
    *result = Out{};
    return Run(body);
}

} // namespace DllBoundary
