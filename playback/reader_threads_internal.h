// The bodies of the two reader threads (krv_reader_thread.cpp,
// avi_reader_thread.cpp). Each returns when its recording cannot be opened
// or exit is requested; `wake` ends a parked wait at once.
#pragma once

#include "playback/play_state.h"
#include "media/ac_sync.h"

namespace playback::detail {

void RunKrvReader(PlayState& state, media::ACEvent& wake);
void RunAviReader(PlayState& state, media::ACEvent& wake);

}  // namespace playback::detail
