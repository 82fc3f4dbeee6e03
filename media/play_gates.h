// The two play gates of one player: manual-reset events, unsignalled at
// start. The owner signals `krv` while the KRV reader thread plays and `avi`
// while the AVI reader thread plays. While neither is signalled, the pushes a
// reader makes into the video filter, the sound player and the clock are
// dropped and reported as accepted, so a reader being torn down never waits
// on a pipeline that is being emptied.
//
// Each player keeps its own pair (in its play state) and hands it to its
// filter, sound player and clock; an object given none is not gated.
#pragma once

#include "media/ac_sync.h"

namespace media {

struct PlayGates {
  ACEvent krv{ACEvent::kManualReset};
  ACEvent avi{ACEvent::kManualReset};

  // True when either gate is signalled. Tests without waiting.
  bool Open() const { return krv.IsSet() || avi.IsSet(); }
  void ResetBoth() {
    krv.Reset();
    avi.Reset();
  }
};

// The gate rule for a push from a reader: with no gates, or a gate open, the
// push is made and its result returned; with neither open, nothing is pushed
// and 1 (accepted) is returned.
template <typename Push>
int GatedPush(const PlayGates* gates, Push&& push) {
  if (gates && !gates->Open()) return 1;
  return push();
}

}  // namespace media
