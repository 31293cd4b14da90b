#include "manifest/modManifestParser.h"

#include "manifest/ManifestXml.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <vector>

namespace modManifestParser {
namespace {

// The loader reads the identity's plain attributes (and the xml: ones are the language's own);
// an attribute of another namespace would need its declaration copied along, and means nothing
// to the loader.
bool Copied(const ManifestXml::Attribute& attribute) {
    const std::size_t colon = attribute.Name.find(L':');
    return colon == std::wstring::npos || attribute.Name.compare(0, colon, L"xml") == 0;
}

bool Has(const std::vector<ManifestXml::Attribute>& attributes, const wchar_t* name) {
    return std::any_of(attributes.begin(), attributes.end(),
                       [&](const ManifestXml::Attribute& a) { return a.Name == name; });
}

} // namespace

std::vector<ManifestXml::Attribute> GetAssemblyIdentityFromManifest(const std::wstring& FileName) {
    try {
        std::vector<ManifestXml::Attribute> read;
        if (!ManifestXml::ReadIdentityAttributes(FileName, read)) return {};
        std::vector<ManifestXml::Attribute> attributes;
        std::copy_if(read.begin(), read.end(), std::back_inserter(attributes), Copied);
        // A dependency without a name or a version is one the loader cannot resolve: a program
        // carrying it would not start.
        if (!Has(attributes, L"name") || !Has(attributes, L"version")) return {};
        return attributes;
    } catch (const std::exception&) {
        // Whatever went wrong, the caller reports the file as one that yields no identity.
        return {};
    }
}

} // namespace modManifestParser
