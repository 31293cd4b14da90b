// Reading another assembly's manifest through the platform's XML DOM (version 3.0).
#pragma once

#include <string>
#include <vector>

namespace ManifestXml {

// The attributes of the first /assembly/assemblyIdentity element of the file, each in its XML
// form (name="value", the value escaped as the component writes it), in document order;
// namespace declarations are not attributes here. False when the component cannot be created,
// the file cannot be read or is not well-formed XML, or there is no such element.
bool ReadIdentityAttributes(const std::wstring& FileName, std::vector<std::wstring>& Attributes);

} // namespace ManifestXml
