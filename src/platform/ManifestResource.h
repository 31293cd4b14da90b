// A program's own manifest: the resource of type 24, identifier 1, inside the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ManifestResource {

// The languages under which the file carries a manifest resource 1 (none: empty). False when
// the file cannot be read as a program, with the platform's error code in *error.
bool Languages(const std::wstring& fileName, std::vector<std::uint16_t>& languages,
               std::uint32_t* error);
// Writes the bytes as manifest resource 1 under each of the languages into the file itself.
// False when the platform refuses, with its error code in *error; the file may then be damaged,
// so only a copy is ever handed here.
bool Update(const std::wstring& fileName, const std::string& bytes,
            const std::vector<std::uint16_t>& languages, std::uint32_t* error);

} // namespace ManifestResource
