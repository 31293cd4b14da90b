// What a COM component's own registration code would write, captured without touching the
// machine's registry: its DllRegisterServer runs in the reading process with the predefined
// registry keys redirected to a private scratch key, and the type-library registration functions
// replaced by ones that register nothing. Windows only.
#pragma once

#include "manifest/TypeLibReader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ComRegistration {

// In the reading process: loads the component, runs its DllRegisterServer with OLE initialized
// around it (as the platform's own registration tool does) and the registry redirected to
// ScratchKey (a path under HKEY_CURRENT_USER, created here), and reads back the classes it
// registered for this very file. The type-library registration functions stay replaced in every
// module loaded then or later, delay-loaded imports and run-time lookups included.
TypeLibReader::Registration Capture(const std::wstring& File, const std::wstring& ScratchKey);

// The registry keys named by a library's own identifiers: CLSID\{...}, TypeLib\{...},
// Interface\{...}.
std::vector<std::wstring> IdentifierKeys(const TypeLibReader::TypeLibInfo& TypeLib);
// Those of Keys that exist under HKEY_CLASSES_ROOT, once for each registry view that has them,
// named with the view: "64\CLSID\{...}", "32\CLSID\{...}".
std::vector<std::wstring> ExistingKeys(const std::vector<std::wstring>& Keys);
// Deletes every key of Keys that exists now in a view in which Before (what ExistingKeys gave
// earlier) did not have it, in that view only: a last safety net against registration code that
// wrote past the redirection. One note per key.
std::vector<std::wstring> RemoveNewKeys(const std::vector<std::wstring>& Keys,
                                        const std::vector<std::wstring>& Before,
                                        const std::wstring& File);

// The scratch key of the reading process with that id and start time, under HKEY_CURRENT_USER:
// it is left to that process while the process runs, and to nobody once it is gone.
std::wstring ScratchKey(std::uint32_t ProcessId, std::uint64_t StartTime);
// Deletes the scratch key with everything in it; one that does not exist is no failure.
void DeleteScratchKey(const std::wstring& ScratchKey);
// Deletes the scratch keys whose processes are gone.
void DeleteStaleScratchKeys();

} // namespace ComRegistration
