// The platform's XML DOM (version 3.0): other assemblies' manifests, and the finished manifest.
#pragma once

#include <string>
#include <vector>

namespace ManifestXml {

struct Attribute {
    std::wstring Name;  // as written, with its prefix if it has one
    std::wstring Value; // the parser's value: references expanded, nothing escaped
};

// The attributes of the first /assembly/assemblyIdentity element of the file, in document
// order; namespace declarations are not attributes here. False when the component cannot be
// created, the file cannot be read or is not well-formed XML, or there is no such element.
bool ReadIdentityAttributes(const std::wstring& FileName, std::vector<Attribute>& Attributes);

// Whether the component takes the bytes as a well-formed document; when not, Reason says why.
bool CheckDocument(const std::string& Bytes, std::wstring& Reason);

} // namespace ManifestXml
