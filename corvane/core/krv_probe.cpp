#include "krvreader/krv.h"
#include "record_probe.h"

namespace corvane {

void ProbeKrv(const std::string& path, ProbeFacts* facts) {
  // The container keeps names in 1024-byte buffers; a longer path would be
  // cut and could name another file.
  if (path.empty() || path.size() > 1023) return;
  krv::KrvProbeResult r;
  const int status = krv::krv_probe(path.c_str(), &r);
  // krv_probe clears r and fills what it learned: a file that does not open
  // or parse gives zero facts.
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
  facts->fileSizeBytes = r.file_size;
}

}  // namespace corvane
