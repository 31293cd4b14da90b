#include "manifest/modManifestParser.h"

#include "manifest/ManifestXml.h"

#include <exception>
#include <vector>

namespace modManifestParser {

std::wstring GetAssemblyIdentityFromManifest(const std::wstring& FileName) {
    std::wstring block;
    try {
        std::vector<std::wstring> attributes;
        if (!ManifestXml::ReadIdentityAttributes(FileName, attributes)) return std::wstring();
        block = L"  <dependency>\r\n"
                L"    <dependentAssembly>\r\n"
                L"      <assemblyIdentity";
        // The first attribute on the element's line, every further one under it in the
        // 24-blank column that the Common-Controls dependency uses too.
        for (std::size_t i = 0; i < attributes.size(); ++i) {
            if (i > 0) block += L"\r\n" + std::wstring(23, L' ');
            block += L" " + attributes[i];
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
