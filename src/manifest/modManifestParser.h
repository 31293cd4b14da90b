// A dependency on another assembly, taken from that assembly's own manifest.
#pragma once

#include <string>

namespace modManifestParser {

// The dependency block for the manifest file (absolute name): its assemblyIdentity attributes
// copied in document order as name="value" (the value escaped; attributes of other namespaces
// left out), the first on the element's line, each further one on a line of its own. No line
// end after the last line. Empty on any failure, and for an identity without a name or a
// version; nothing is reported here.
std::wstring GetAssemblyIdentityFromManifest(const std::wstring& FileName);

} // namespace modManifestParser
