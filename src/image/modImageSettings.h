// The image settings: flags in the output's own headers that the environment's linker cannot
// set (large address space, DEP, ASLR, terminal-server awareness), set after the link with the
// image checksum kept right.
#pragma once

#include <cstdint>
#include <string>

struct BuildContext;
class CConfig;

namespace modImageSettings {

// The step as the user reads it in a message.
inline constexpr wchar_t kStepName[] = L"параметры образа";
// The build log's section for the step's notes.
inline constexpr wchar_t kNotesCaption[] = L"Image settings notes";

// Whether the options ask for any of the flags.
bool Wanted(const CConfig& config);
// Sets the flags the options ask for in the output file, through a copy beside it that then
// replaces it; writes nothing when every flag is set already. False after a failure, which has
// been shown to the user; the output is then as the link left it.
bool WriteImageSettings(const BuildContext& context);
// For a file that another step has just changed: a checksum that the linker stored is made to
// match the bytes again; a file without one (0) is left as it is. False, with the platform's
// error code in *error, when the file cannot be read, summed or written; it is then unchanged.
bool MendCheckSum(const std::wstring& fileName, std::uint32_t* error);

} // namespace modImageSettings
