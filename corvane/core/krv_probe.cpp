#include <cstring>

#include "krvreader/krv.h"
#include "record_probe.h"

namespace corvane {

void ProbeKrv(const std::string& path, ProbeFacts* facts) {
  // The container keeps names in 1024-byte buffers; a longer path would be
  // cut and could name another file.
  if (path.empty() || path.size() > 1023) return;
  // The probe writes only the outputs it has non-zero values for.
  int64_t durationUs = 0;
  char bus[257] = {};  // one byte more than the probe is given: always terminated
  int widths[kProbeChannels] = {}, heights[kProbeChannels] = {}, rates[kProbeChannels] = {},
      fps[kProbeChannels] = {};
  krv::krv_probe_info(path.c_str(), nullptr, &durationUs, nullptr, bus, 256, widths, kProbeChannels, heights,
                      kProbeChannels, rates, kProbeChannels, nullptr, 0, fps, kProbeChannels);
  facts->durationUs = durationUs > 0 ? durationUs : 0;
  facts->carNumber.assign(bus, ::strnlen(bus, 256));
  for (int c = 0; c < kProbeChannels; ++c) {
    facts->width[c] = widths[c];
    facts->height[c] = heights[c];
    facts->videoBitrate[c] = rates[c];
    facts->frameRate[c] = fps[c];
  }
}

}  // namespace corvane
