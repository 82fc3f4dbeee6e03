// Ending a headless play politely: SIGINT and SIGTERM (Ctrl-C, kill, a
// session ending) set a flag that the play loop looks at between its bounded
// waits, so it stops, closes the pipeline in order and still prints what was
// played. A second signal while that runs ends the process at once.
#pragma once

namespace krvplayer {

// Installs the handlers (idempotent). Call before the pipeline starts its
// threads.
void InstallStopSignals();

// The signal that asked to stop, or 0 while none came.
int StopSignal();

}  // namespace krvplayer
