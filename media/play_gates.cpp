#include "media/play_gates.h"

namespace media {

constinit ACEvent krvGate{ACEvent::kManualReset};
constinit ACEvent aviGate{ACEvent::kManualReset};

bool PlayGateOpen() { return krvGate.IsSet() || aviGate.IsSet(); }

}  // namespace media
