/* The exports of QZVSP0100A.DLL, the string support library. Every export is __stdcall, returns
   an HRESULT (negative on failure) and hands its result out through its last argument. String
   arguments are BSTRs the caller owns (NULL is the empty string); string results are BSTRs the
   library allocates and the caller frees with SysFreeString. */
#pragma once

#include <windows.h>
#include <oleauto.h>

/* MSVC exports the undecorated names through QZVSP0100A.def; mingw through dllexport and
   --kill-at. */
#if defined(QZVSP0100A_EXPORTS) && defined(_MSC_VER)
#define QZVSP0100A_API
#elif defined(QZVSP0100A_EXPORTS)
#define QZVSP0100A_API __declspec(dllexport)
#else
#define QZVSP0100A_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

QZVSP0100A_API HRESULT WINAPI TrimEx(BSTR text, BSTR* result);
QZVSP0100A_API HRESULT WINAPI TrimEx2(BSTR text, VARIANT_BOOL blank, VARIANT_BOOL tab,
                                      VARIANT_BOOL cr, VARIANT_BOOL lf, VARIANT_BOOL nul,
                                      VARIANT_BOOL vt, VARIANT_BOOL ff, VARIANT_BOOL nbsp,
                                      VARIANT_BOOL ideographic, VARIANT_BOOL bom, BSTR* result);
QZVSP0100A_API HRESULT WINAPI TrimCRLF(BSTR text, BSTR* result);
/* The result holds the UTF-8 bytes (SysAllocStringByteLen; read with SysStringByteLen). */
QZVSP0100A_API HRESULT WINAPI UnicodeToUtf8(BSTR text, BSTR* utf8);
QZVSP0100A_API HRESULT WINAPI FormatVersion(LONG major, LONG minor, LONG revision, BSTR* result);
/* E_POINTER for a NULL text. */
QZVSP0100A_API HRESULT WINAPI GetStringFromPointerA(LPCSTR text, BSTR* result);
QZVSP0100A_API HRESULT WINAPI GetErrorNumber(LONG number, BSTR* result);
QZVSP0100A_API HRESULT WINAPI GetAPIErrorDescription(DWORD code, BSTR* result);
/* No result: the icons go to the window. */
QZVSP0100A_API HRESULT WINAPI SetWindowResIconAll(HWND window, BSTR iconGroup);

#ifdef __cplusplus
}
#endif
