#include "krvreader/krv.h"
#include "record_probe.h"

namespace corvane {

namespace {

// The facts of one probe result: what krv_probe learned, zero when the file
// did not open or parse (krv_probe clears the result first).
void TakeFacts(int status, const krv::KrvProbeResult& r, ProbeFacts* facts) {
  facts->durationUs = status == 0 && r.duration_us > 0 ? r.duration_us : 0;
  if (status == 0)
    facts->carNumber.assign(r.busnum);
  else
    facts->carNumber.clear();
  const int video = status == 0 ? r.nb_video_streams : 0;
  for (int c = 0; c < kProbeChannels; ++c) {
    const bool known = c < video && c < r.nb_streams;
    facts->width[c] = known ? r.streams[c].width : 0;
    facts->height[c] = known ? r.streams[c].height : 0;
    facts->videoBitrate[c] = known ? r.streams[c].bit_rate : 0;
    facts->frameRate[c] = known ? r.streams[c].fps : 0;
  }
}

// The container keeps names in 1024-byte buffers: a recording whose path is
// longer could not be played, and is not probed either.
bool PathFitsTheContainer(const std::string& path) { return !path.empty() && path.size() <= 1023; }

}  // namespace

void ProbeKrv(const std::string& path, ProbeFacts* facts) {
  if (!PathFitsTheContainer(path)) return;
  krv::KrvProbeResult r;
  const int status = krv::krv_probe(path.c_str(), &r);
  TakeFacts(status, r, facts);
}

void ProbeKrvAt(int dirFd, const std::string& name, const std::string& path, ProbeFacts* facts) {
  if (!PathFitsTheContainer(path)) return;
  krv::KrvProbeResult r;
  // The row keeps the facts of the first channels only, and no size.
  const int status = krv::krv_probe_regular_at(dirFd, name.c_str(), kProbeChannels, &r);
  TakeFacts(status, r, facts);
}

}  // namespace corvane
