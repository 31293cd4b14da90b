// The linker command line's output file and library flag, and the project's option file.
#pragma once

#include "config/CConfig.h"

#include <memory>
#include <string>

struct BuildContext;

namespace modConfig {

// The file named by the first "/OUT:" (any case), also when the whole switch is quoted
// ("/OUT:name"); empty when there is no usable name.
std::wstring ExtractEXEFileName(const std::wstring& commandLine);
// True when "/DLL" (any case) is a whole argument of the line, anywhere, bare or in quotes.
bool ExtractIsDLL(const std::wstring& commandLine);
// The text of an option file: UTF-8 after a UTF-8 byte-order mark, UTF-16 after a UTF-16 one
// (little- or big-endian), the ANSI code page otherwise. Malformed sequences become U+FFFD.
std::wstring DecodeConfigText(const std::string& bytes);
// The options of ConfigFileName, or none when the file cannot be read (reported to the user)
// or its text cannot be parsed (not reported).
std::shared_ptr<const CConfig> ReadConfigFile(const BuildContext& context);

} // namespace modConfig
