// The reading process: the child that reads type libraries for the program, and runs COM
// components' registration code with the registry redirected. A crash in the platform's reader on
// a broken library, or in a component's code, then ends only the child. Its own program
// (kProgramName) runs nothing else; the program itself can play the part too.
#pragma once

namespace TypeLibReaderChild {

// The reading process's own program, shipped beside the program.
inline constexpr wchar_t kProgramName[] = L"VexmorLinkReader.exe";
// The first argument of a reading process, which no link uses.
inline constexpr wchar_t kArgument[] = L"--vexmor-type-library-reader";

// Runs the reader when this process was started as the reader child (a first argument no link
// uses, then the values of the pipe and the parent process it inherited) and gives its exit
// code; false for any other start, with nothing done. Called first, before any start-up.
bool RunIfAsked(int& ExitCode);

} // namespace TypeLibReaderChild
