// The program's second role: the child that reads type libraries for its parent, and runs COM
// components' registration code with the registry redirected. A crash in the platform's reader on
// a broken library, or in a component's code, then ends only the child.
#pragma once

namespace TypeLibReaderChild {

// Runs the reader when this process was started as the reader child (a first argument no link
// uses, then the values of the pipe and the parent process it inherited) and gives its exit
// code; false for any other start, with nothing done. Called first, before any start-up.
bool RunIfAsked(int& ExitCode);

} // namespace TypeLibReaderChild
