// The two process-wide play gates: manual-reset events, unsignalled at start.
// The main window signals krvGate while the KRV reader thread plays and
// aviGate while the AVI reader thread plays. While neither is signalled, the
// pushes a reader makes into the video filter, the sound player and the
// clock are dropped and reported as accepted, so a reader being torn down
// never waits on a pipeline that is being emptied.
#pragma once

#include "media/ac_sync.h"

namespace media {

extern ACEvent krvGate;
extern ACEvent aviGate;

// True when either gate is signalled. Tests without waiting.
bool PlayGateOpen();

// The gate rule for a push from a reader: with a gate open, the push is made
// and its result returned; with neither open, nothing is pushed and 1
// (accepted) is returned.
template <typename Push>
int GatedPush(Push&& push) {
  if (!PlayGateOpen()) return 1;
  return push();
}

}  // namespace media
