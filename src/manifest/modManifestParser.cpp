#include "manifest/modManifestParser.h"

#include "manifest/ManifestXml.h"
#include "manifest/modCommon.h"

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

std::wstring GetAssemblyIdentityFromManifest(const std::wstring& FileName) {
    std::wstring block;
    try {
        std::vector<ManifestXml::Attribute> read;
        if (!ManifestXml::ReadIdentityAttributes(FileName, read)) return std::wstring();
        std::vector<ManifestXml::Attribute> attributes;
        std::copy_if(read.begin(), read.end(), std::back_inserter(attributes), Copied);
        // A dependency without a name or a version is one the loader cannot resolve: a program
        // carrying it would not start.
        if (!Has(attributes, L"name") || !Has(attributes, L"version")) return std::wstring();
        block = L"  <dependency>\r\n"
                L"    <dependentAssembly>\r\n"
                L"      <assemblyIdentity";
        // The first attribute on the element's line, every further one under it in the
        // 24-blank column that the Common-Controls dependency uses too.
        for (std::size_t i = 0; i < attributes.size(); ++i) {
            if (i > 0) block += L"\r\n" + std::wstring(23, L' ');
            block += L" " + attributes[i].Name + L"=\"" +
                     modCommon::csEscapeHTML(attributes[i].Value) + L"\"";
        }
        block += L" />\r\n"
                 L"    </dependentAssembly>\r\n"
                 L"  </dependency>";
    } catch (const std::exception&) {
        // Whatever went wrong, the caller reports the file as one that yields no identity.
        return std::wstring();
    }
    return block;
}

} // namespace modManifestParser
