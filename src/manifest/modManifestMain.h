// The manifest: the file beside the output file, or the output's own manifest resource.
#pragma once

#include <string>

struct BuildContext;

namespace modManifestMain {

// Builds the manifest and replaces ManifestFileName with it, whole or not at all; with embed, a
// program gets it as its own manifest resource instead (a library keeps the file). Every failure
// is shown to the user here; the build goes on. False after a failure.
bool WriteManifest(const BuildContext& context, bool embed = false);
// The manifest's bytes exactly as they are written: UTF-8, padded, checked by the XML component.
// Empty after a failure that has been shown to the user; an encoding failure is raised.
std::string GetManifestBytes(const BuildContext& context);
// The bytes lengthened with blanks to a multiple of four.
std::string ApplyPadding(std::string bytes);

} // namespace modManifestMain
