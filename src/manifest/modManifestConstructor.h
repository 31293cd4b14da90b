// The text of the side-by-side manifest of the output file: header, identity, description, the
// program's sections, the dependencies on other assemblies and the registration-free COM
// sections of a type library.
#pragma once

#include <string>

struct BuildContext;
struct FileVersionRecord;

namespace TypeLibReader {
class TypeLibInfo;
}

namespace modManifestConstructor {

// The whole document, or an empty text after a failure that has been shown to the user.
std::wstring GetManifestText(const BuildContext& context);

// The generation message: the failure of the builder named by CurrentFunction.
void ShowGenerationFailure(const BuildContext& context, const std::wstring& CurrentFunction,
                           const std::wstring& Description);

// The builders. Each stores its own name in CurrentFunction (so that a failure names the builder
// that was running) and raises an AppError on failure.
std::wstring GetManifestBody(const BuildContext& context, const TypeLibReader::TypeLibInfo* TypeLib,
                             std::wstring& CurrentFunction);
std::wstring GetAssemblyIdentity(const std::wstring& ExeFileName, const FileVersionRecord& Version,
                                 std::wstring& CurrentFunction);
std::wstring GetDependencies(const BuildContext& context, std::wstring& CurrentFunction);
std::wstring GetFileSection(const TypeLibReader::TypeLibInfo& TypeLib,
                            std::wstring& CurrentFunction);
std::wstring GetCOMClasses(const TypeLibReader::TypeLibInfo& TypeLib,
                           std::wstring& CurrentFunction);
std::wstring GetCOMInterfaceProxies(const TypeLibReader::TypeLibInfo& TypeLib,
                                    std::wstring& CurrentFunction);

} // namespace modManifestConstructor
