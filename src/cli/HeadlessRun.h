#pragma once

#include "cli/Options.h"
#include "platform/AppFolders.h"

namespace zoetra::cli {

// The headless conversion the settings ask for, or the recording of an
// existing program (--play): imports a video source first, converts, then
// writes the preview. Its messages go to standard error; the exit status.
int runHeadless(const Settings& settings, const AppFolders& folders);

}  // namespace zoetra::cli
