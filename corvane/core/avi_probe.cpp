#include <cmath>
#include <memory>

#include "record_probe.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mathematics.h>
}

namespace corvane {

namespace {

struct InputCloser {
  void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};

int32_t ClampToInt32(int64_t v) {
  if (v < 0) return 0;
  return v > INT32_MAX ? INT32_MAX : static_cast<int32_t>(v);
}

int32_t FramesPerSecond(const AVStream* st) {
  AVRational r = st->avg_frame_rate;
  if (r.num <= 0 || r.den <= 0) r = st->r_frame_rate;
  if (r.num <= 0 || r.den <= 0) return 0;
  double fps = av_q2d(r);
  if (!std::isfinite(fps) || fps < 0 || fps > 100000) return 0;
  return static_cast<int32_t>(std::lround(fps));
}

}  // namespace

void ProbeAvi(const std::string& path, ProbeFacts* facts) {
  const AVInputFormat* avi = av_find_input_format("avi");
  if (!avi) return;
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), avi, nullptr) < 0) return;  // frees raw on failure
  std::unique_ptr<AVFormatContext, InputCloser> ctx(raw);

  int64_t durationUs = 0;
  if (ctx->duration != AV_NOPTS_VALUE && ctx->duration > 0) durationUs = ctx->duration;
  int channel = 0;
  for (unsigned i = 0; i < ctx->nb_streams; ++i) {
    const AVStream* st = ctx->streams[i];
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0 && st->time_base.num > 0 && st->time_base.den > 0) {
      int64_t us = av_rescale_q(st->duration, st->time_base, AVRational{1, AV_TIME_BASE});
      if (us > durationUs) durationUs = us;
    }
    if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO || channel >= kProbeChannels) continue;
    facts->width[channel] = ClampToInt32(st->codecpar->width);
    facts->height[channel] = ClampToInt32(st->codecpar->height);
    facts->videoBitrate[channel] = ClampToInt32(st->codecpar->bit_rate);
    facts->frameRate[channel] = FramesPerSecond(st);
    ++channel;
  }
  if (durationUs > 0) facts->durationUs = durationUs;
}

}  // namespace corvane
