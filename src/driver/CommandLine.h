// The linker's command line: the project's switches written into it, values quoted for it, and a
// line too long for the platform handed over in a response file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CConfig;

namespace CommandLine {

// The longest command line the platform starts a program with, its terminating zero included.
constexpr std::size_t kCommandLineLimit = 32767;

// Every occurrence of search (which starts with a blank) replaced, letter case counting;
// a switch at the very start of the line matches too.
std::wstring ReplaceSwitch(const std::wstring& commandLine, const std::wstring& search,
                           const std::wstring& replacement);
// The command line with the project's options applied, in their fixed order.
std::wstring RewriteCommandLine(const std::wstring& commandLine, const CConfig& config,
                                const std::wstring& defFileName,
                                const std::wstring& configFileName);
// What the launcher hands the platform: the quoted program, a blank, the arguments, and the
// terminating zero, which the platform's limit counts too.
std::size_t LinkerCommandLineLength(const std::wstring& linker, const std::wstring& arguments);
// A command line longer than the platform takes goes to the linker in a response file, in the
// ANSI code page that the linker reads such files in; the arguments become @"file". A line cut
// short would be a different link. False, after telling the user, when that cannot be done.
bool PutInResponseFile(const std::wstring& linker, std::wstring& arguments,
                       std::wstring& responseFile, std::uint32_t& error);

} // namespace CommandLine
