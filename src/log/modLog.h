// The build log: what the program was asked to do and what it passed to the linker, collected
// in memory and written beside the output file before the link.
#pragma once

#include <string>
#include <vector>

struct BuildContext;

namespace modLog {

// Appends "caption:", the value and an empty line; an empty value adds nothing.
void LogItem(const std::wstring& caption, const std::wstring& value);
// Appends the item "File names": the eight files of the build, each marked when it exists.
void LogFiles(const BuildContext& context);
// "[*] " for an existing file, "[ ] " otherwise, then the name unchanged.
std::wstring GetFileLine(const std::wstring& fileName);
// Writes the collected text to LogFileName, replacing the whole file, and empties the text.
// Failures are not reported: a log that cannot be written leaves the earlier one intact.
void LogFlush(const BuildContext& context);
// The text collected so far.
const std::wstring& LogText();

// A note of a step after the link (a skipped duplicate, a component outside the output's
// folder, a manifest resource replaced, a flag a library does not take...), kept until
// WriteNotes.
void AddNote(const std::wstring& note);
// The notes added and not yet written.
const std::vector<std::wstring>& Notes();
// When there are notes: writes the log once more, as LogFlush last wrote it, with a last
// section under the step's caption ("Manifest notes") holding one note a line, and forgets the
// notes. Without notes the log stays exactly as it was written.
void WriteNotes(const BuildContext& context, const std::wstring& caption);

} // namespace modLog
