// The checksum of a PE image, as the platform's own routine computes it.
#pragma once

#include <cstdint>
#include <string>

namespace ImageChecksum {

// The checksum of the image whose file bytes these are, its stored checksum field left out.
// False when the routine cannot be had or refuses the bytes, with the platform's error code in
// *error.
bool Compute(const std::string& bytes, std::uint32_t& sum, std::uint32_t* error);

} // namespace ImageChecksum
