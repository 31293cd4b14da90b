// The platform's common controls, which the message boxes are drawn with.
#pragma once

namespace platform {

// Prepares the common controls for the message boxes.
void InitCommonControls();

} // namespace platform
