// A dependency on another assembly, taken from that assembly's own manifest.
#pragma once

#include "manifest/ManifestXml.h"

#include <string>
#include <vector>

namespace modManifestParser {

// The attributes of the manifest file's (absolute name) assemblyIdentity element that a
// dependency on it copies, in document order: values as the parser expanded them, attributes of
// other namespaces left out. Empty on any failure, and for an identity without a name or a
// version, which no loader could resolve; nothing is reported here.
std::vector<ManifestXml::Attribute> GetAssemblyIdentityFromManifest(const std::wstring& FileName);

} // namespace modManifestParser
