// What a COM component's own registration code would write, captured without touching the
// machine's registry: its DllRegisterServer runs in the reading process with the predefined
// registry keys redirected to a private scratch key, and the type-library registration functions
// replaced by ones that register nothing. Windows only.
#pragma once

#include "manifest/TypeLibReader.h"

#include <string>
#include <vector>

namespace ComRegistration {

// In the reading process: loads the component, runs its DllRegisterServer with the registry
// redirected to ScratchKey (a path under HKEY_CURRENT_USER, created here) and reads back the
// classes it registered for this very file.
TypeLibReader::Registration Capture(const std::wstring& File, const std::wstring& ScratchKey);

// The registry keys named by a library's own identifiers: CLSID\{...}, TypeLib\{...},
// Interface\{...}.
std::vector<std::wstring> IdentifierKeys(const TypeLibReader::TypeLibInfo& TypeLib);
// Those of Keys that exist under HKEY_CLASSES_ROOT in either registry view.
std::vector<std::wstring> ExistingKeys(const std::vector<std::wstring>& Keys);
// Deletes, in both views, every key of Keys that exists now but was not in Before: a last
// safety net against registration code that wrote past the redirection. One note per key.
std::vector<std::wstring> RemoveNewKeys(const std::vector<std::wstring>& Keys,
                                        const std::vector<std::wstring>& Before,
                                        const std::wstring& File);

// A new scratch key's path for this process, under HKEY_CURRENT_USER; nothing is created.
std::wstring NewScratchKey();
// Deletes the scratch key with everything in it; one that does not exist is no failure.
void DeleteScratchKey(const std::wstring& ScratchKey);
// Deletes the scratch keys that builds no longer running left behind.
void DeleteStaleScratchKeys();

} // namespace ComRegistration
