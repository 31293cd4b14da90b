// The manifest file beside the output file.
#pragma once

#include <string>

struct BuildContext;

namespace modManifestMain {

// Builds the manifest and replaces ManifestFileName with it, whole or not at all. Every failure
// is shown to the user here; the build goes on. False after a failure.
bool WriteManifest(const BuildContext& context);
// The manifest's bytes exactly as they are written: UTF-8, padded, checked by the XML component.
// Empty after a failure that has been shown to the user; an encoding failure is raised.
std::string GetManifestBytes(const BuildContext& context);
// The bytes lengthened with blanks to a multiple of four.
std::string ApplyPadding(std::string bytes);

} // namespace modManifestMain
