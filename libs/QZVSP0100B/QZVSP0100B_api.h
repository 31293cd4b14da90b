/* The exports of QZVSP0100B.DLL, the environment support library. Every export is __stdcall,
   returns an HRESULT (negative on failure) and hands its result out through its last argument.
   String arguments are BSTRs the caller owns (NULL is the empty string); string results are
   BSTRs the library allocates and the caller frees with SysFreeString. */
#pragma once

#include <windows.h>
#include <oleauto.h>

/* MSVC exports the undecorated names through QZVSP0100B.def; mingw through dllexport and
   --kill-at. */
#if defined(QZVSP0100B_EXPORTS) && defined(_MSC_VER)
#define QZVSP0100B_API
#elif defined(QZVSP0100B_EXPORTS)
#define QZVSP0100B_API __declspec(dllexport)
#else
#define QZVSP0100B_API __declspec(dllimport)
#endif

#ifdef __cplusplus
extern "C" {
#endif

QZVSP0100B_API HRESULT WINAPI RegisterAppPath(VARIANT_BOOL* registered);
QZVSP0100B_API HRESULT WINAPI IsInIDE(VARIANT_BOOL* result);
QZVSP0100B_API HRESULT WINAPI GetMainWindowHandle(HWND* window);
/* A missing file or path is VARIANT_FALSE, not a failure. */
QZVSP0100B_API HRESULT WINAPI IsFileExist(BSTR fileName, VARIANT_BOOL* result);
QZVSP0100B_API HRESULT WINAPI ReplaceFileExtension(BSTR fileName, BSTR newExtension, BSTR* result);
QZVSP0100B_API HRESULT WINAPI GetFileExtension(BSTR fileName, BSTR* result);
QZVSP0100B_API HRESULT WINAPI GetFileName(BSTR path, VARIANT_BOOL withoutExtension, BSTR* result);
QZVSP0100B_API HRESULT WINAPI GetFilePath(BSTR fileName, BSTR* result);
/* A relative or empty base is first resolved against the current folder. */
QZVSP0100B_API HRESULT WINAPI GetAbsoluteFileName(BSTR fileName, BSTR baseFolder, BSTR* result);
QZVSP0100B_API HRESULT WINAPI GetTempFolder(BSTR* result);
QZVSP0100B_API HRESULT WINAPI BuildFileName(BSTR folder, BSTR fileName, VARIANT_BOOL quote,
                                            BSTR* result);
QZVSP0100B_API HRESULT WINAPI BuildFileName2(BSTR folder, BSTR fileName, BSTR part3, BSTR part4,
                                             BSTR part5, BSTR part6, BSTR part7, BSTR part8,
                                             BSTR part9, BSTR* result);
QZVSP0100B_API HRESULT WINAPI IsHostWinNT(VARIANT_BOOL* result);
QZVSP0100B_API HRESULT WINAPI IsHostWin9x(VARIANT_BOOL* result);
QZVSP0100B_API HRESULT WINAPI HiWord(DWORD value, WORD* result);
QZVSP0100B_API HRESULT WINAPI LoWord(DWORD value, WORD* result);
QZVSP0100B_API HRESULT WINAPI Hex2(WORD value, BSTR* result);

#ifdef __cplusplus
}
#endif
