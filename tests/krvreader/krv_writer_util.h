// Writing test recordings with the container's writer.
#pragma once

#include <string>
#include <vector>

#include "krv_test_util.h"

namespace krvtest {

struct StreamSpec {
  int kind = krv::KIND_VIDEO;
  int codec = krv::CODEC_H264;
  int width = 0, height = 0, fps = 0;
  int sampleRate = 0, channels = 0, bits = 0;
  int bitRate = 0;
};

inline StreamSpec Video(int w = 704, int h = 576, int fps = 25, int bitRate = 1024000) {
  StreamSpec s;
  s.width = w, s.height = h, s.fps = fps, s.bitRate = bitRate;
  return s;
}
inline StreamSpec Audio(int codec = krv::CODEC_ADPCM_MS, int rate = 8000, int channels = 1, int bits = 16) {
  StreamSpec s;
  s.kind = krv::KIND_AUDIO, s.codec = codec, s.sampleRate = rate, s.channels = channels, s.bits = bits;
  return s;
}
inline StreamSpec Data() {
  StreamSpec s;
  s.kind = krv::KIND_DATA, s.codec = 0;
  return s;
}

// The four-video, four-audio, one-data table of a recorder.
inline std::vector<StreamSpec> RecorderStreams() {
  std::vector<StreamSpec> v;
  for (int i = 0; i < 4; ++i) v.push_back(Video());
  for (int i = 0; i < 4; ++i) v.push_back(Audio());
  v.push_back(Data());
  return v;
}

// A writer over a fresh file; packets name table slots.
class Writing {
 public:
  Writing(const std::string& path, const std::vector<StreamSpec>& streams, int64_t startTime = 1710491400,
          const std::string& bus = "") {
    opened = krv::url_fopen(&ctx.pb, path.c_str(), krv::URL_WRONLY) == 0;
    ctx.start_time = startTime;
    std::snprintf(ctx.busnum, sizeof ctx.busnum, "%s", bus.c_str());
    for (const auto& s : streams) {
      krv::RecordingStream* st = krv::av_new_stream(&ctx, 0);
      st->kind = s.kind;
      st->codec_id = s.codec;
      st->width = s.width;
      st->height = s.height;
      st->r_frame_rate = {s.fps, 1};
      st->sample_rate = s.sampleRate;
      st->channels = s.channels;
      st->bits_per_sample = s.bits;
      st->bit_rate = s.bitRate;
    }
  }
  ~Writing() { Close(); }
  int Header() { return krv::krv_write_header(&ctx); }
  int Packet(int slot, int64_t dts, bool key, const Bytes& data, int durationUs = 0) {
    krv::RecordingPacket p{};
    p.data = const_cast<uint8_t*>(data.data());
    p.size = static_cast<int>(data.size());
    p.stream_index = slot;
    p.dts = p.pts = dts;
    p.flags = key ? krv::PKT_FLAG_KEY : 0;
    p.duration = durationUs;
    return krv::krv_write_packet(&ctx, &p);
  }
  int Trailer() { return krv::krv_write_trailer(&ctx); }
  void Close() {
    if (ctx.priv_data) Trailer();
    krv::krv_read_close(&ctx);
    if (ctx.pb) krv::url_fclose(ctx.pb);
    ctx.pb = nullptr;
  }
  krv::RecordingContext ctx{};
  bool opened = false;
};

}  // namespace krvtest
