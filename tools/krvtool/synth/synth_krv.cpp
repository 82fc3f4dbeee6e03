// krvsynth::WriteKrv: a real recording through the container's writer.
#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>

#include "krvreader/krv.h"
#include "synth/h264_encoder.h"
#include "synth/synth.h"
#include "synth/tracks.h"
#include "synth/vehicle_records.h"

namespace krvsynth {

std::string CheckOptions(const SynthOptions& o) {
  if (o.seconds < 1 || o.seconds > 4000) return "--seconds must be 1 to 4000";
  if (o.width < 16 || o.height < 16 || o.width > 1920 || o.height > 1088 || o.width % 2 || o.height % 2)
    return "--size must be even, 16x16 to 1920x1088";
  if (o.fps < 1 || o.fps > 60) return "--fps must be 1 to 60";
  if (o.gop < 1 || o.gop > 1000) return "--gop must be 1 to 1000";
  if (o.channels < 1 || o.channels > 4) return "--channels must be 1 to 4";
  if (o.bus.size() > 64) return "--bus must be at most 64 bytes";
  return "";
}

int64_t ParseStartTime(const std::string& text) {
  if (text.size() != 14) return -1;
  for (char c : text)
    if (c < '0' || c > '9') return -1;
  auto num = [&](size_t at, size_t len) { return std::stoi(text.substr(at, len)); };
  struct tm tm = {};
  tm.tm_year = num(0, 4) - 1900;
  tm.tm_mon = num(4, 2) - 1;
  tm.tm_mday = num(6, 2);
  tm.tm_hour = num(8, 2);
  tm.tm_min = num(10, 2);
  tm.tm_sec = num(12, 2);
  if (tm.tm_year < 70 || tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 ||
      tm.tm_min > 59 || tm.tm_sec > 59)
    return -1;
  return static_cast<int64_t>(timegm(&tm));
}

namespace {

constexpr int kVideoStreams = 4, kAudioStreams = 4;
constexpr int kDataStreamId = 8;

struct KrvFile {
  krv::RecordingContext ctx{};
  ~KrvFile() {
    krv::krv_read_close(&ctx);
    if (ctx.pb) krv::url_fclose(ctx.pb);
  }
};

bool writePacket(KrvFile& f, int stream, int64_t ts, int64_t duration, bool key, const std::vector<uint8_t>& data,
                 std::string* error) {
  krv::RecordingPacket pkt{};
  pkt.data = const_cast<unsigned char*>(data.data());
  pkt.size = static_cast<int>(data.size());
  pkt.stream_index = stream;
  pkt.dts = pkt.pts = ts;
  pkt.duration = static_cast<int>(duration);
  pkt.flags = key ? krv::PKT_FLAG_KEY : 0;
  if (krv::krv_write_packet(&f.ctx, &pkt) < 0 || krv::url_ferror(f.ctx.pb) < 0) {
    *error = "write error";
    return false;
  }
  return true;
}

}  // namespace

bool WriteKrv(const SynthOptions& o, const std::string& path, std::string* error) {
  std::string bad = CheckOptions(o);
  if (!bad.empty()) {
    *error = bad;
    return false;
  }
  KrvFile f;
  if (krv::url_fopen(&f.ctx.pb, path.c_str(), krv::URL_WRONLY) < 0) {
    *error = "cannot create " + path;
    return false;
  }
  std::snprintf(f.ctx.filename, sizeof f.ctx.filename, "%s", path.c_str());
  std::snprintf(f.ctx.busnum, sizeof f.ctx.busnum, "%s", o.bus.c_str());
  f.ctx.start_time = o.startTime > 0 ? o.startTime : 0;

  const int64_t videoBitRate = VideoBitRate(o.width, o.height, o.fps);
  for (int i = 0; i < kVideoStreams; ++i) {
    krv::RecordingStream* st = krv::av_new_stream(&f.ctx, i);
    st->kind = krv::KIND_VIDEO;
    st->codec_id = krv::CODEC_H264;
    bool used = i < o.channels;
    st->width = used ? o.width : 0;
    st->height = used ? o.height : 0;
    st->bit_rate = used ? static_cast<int>(videoBitRate) : 0;
    st->r_frame_rate = {o.fps, 1};
    ++f.ctx.nb_video_streams;
  }
  for (int j = 0; j < kAudioStreams; ++j) {
    krv::RecordingStream* st = krv::av_new_stream(&f.ctx, kVideoStreams + j);
    st->kind = krv::KIND_AUDIO;
    st->codec_id = o.audio == AudioKind::kHisi ? krv::CODEC_HISI_VOICE : krv::CODEC_ADPCM_MS;
    st->sample_rate = kAudioRate;
    st->channels = 1;
    st->bits_per_sample = 16;
    st->bit_rate = 0;
    if (j < o.channels && o.audio == AudioKind::kAdpcm) st->bit_rate = kAudioBitRate;
    if (j < o.channels && o.audio == AudioKind::kHisi) st->bit_rate = kHisiBitRate;
    ++f.ctx.nb_audio_streams;
  }
  krv::RecordingStream* data = krv::av_new_stream(&f.ctx, kDataStreamId);
  data->kind = krv::KIND_DATA;
  ++f.ctx.nb_data_streams;

  if (krv::krv_write_header(&f.ctx) < 0) {
    *error = "cannot write the header of " + path;
    return false;
  }

  std::unique_ptr<H264Encoder> enc[kVideoStreams];
  for (int c = 0; c < o.channels; ++c) {
    enc[c] = std::make_unique<H264Encoder>();
    if (!enc[c]->Open(o.width, o.height, o.fps, o.gop, videoBitRate, error)) return false;
  }
  VehicleSimulator vehicle(o.seed);

  const int64_t frames = static_cast<int64_t>(o.seconds) * o.fps;
  const int64_t frameUs = 1000000 / o.fps;
  const int64_t endUs = static_cast<int64_t>(o.seconds) * 1000000;
  const bool hisi = o.audio == AudioKind::kHisi;
  const int64_t blockUs = hisi ? kHisiFrameUs : kAudioBlockUs;
  int64_t audioBlocks = 0;
  if (o.audio == AudioKind::kAdpcm) audioBlocks = AudioBlockCount(o.seconds);
  if (hisi) audioBlocks = HisiFrameCount(o.seconds);
  int64_t nextBlock = 0, nextTenth = 0;
  const int64_t tenths = o.data ? static_cast<int64_t>(o.seconds) * 10 : 0;

  // Sound and data records due up to `until` (inclusive), in time order.
  auto flushUpTo = [&](int64_t until) -> bool {
    for (;;) {
      int64_t blockTs = nextBlock < audioBlocks ? nextBlock * blockUs : INT64_MAX;
      int64_t dataTs = nextTenth < tenths ? nextTenth * 100000 : INT64_MAX;
      int64_t ts = blockTs < dataTs ? blockTs : dataTs;
      if (ts > until || ts == INT64_MAX) return true;
      if (dataTs <= blockTs) {
        if (nextTenth % 10 == 0) {
          int64_t sec = nextTenth / 10;
          int64_t fixTime = (o.startTime > 0 ? o.startTime : 0) + sec;
          if (!writePacket(f, kDataStreamId, dataTs, 1000000, false, vehicle.Gps(sec, fixTime, o.bus), error))
            return false;
          if (!writePacket(f, kDataStreamId, dataTs, 1000000, false, vehicle.OtherSensors(sec), error)) return false;
        }
        std::vector<uint8_t> g = vehicle.GSensor(nextTenth);
        for (const auto& e : o.gEvents)
          if (std::llround(e.first * 10) == nextTenth) g = VehicleSimulator::GSensorRecord(e.second, 0, 1);
        if (!writePacket(f, kDataStreamId, dataTs, 100000, false, g, error)) return false;
        ++nextTenth;
      } else {
        for (int c = 0; c < o.channels; ++c)
          if (!writePacket(f, kVideoStreams + c, blockTs, blockUs, true,
                           hisi ? HisiFrame(c, nextBlock) : AudioBlock(c, nextBlock), error))
            return false;
        ++nextBlock;
      }
    }
  };

  EncodedPacket packet;
  for (int64_t n = 0; n < frames; ++n) {
    const int64_t ts = n * 1000000 / o.fps;
    if (!flushUpTo(ts)) return false;
    const int64_t elapsed = ts / 1000000;
    const int millis = static_cast<int>(ts / 1000 % 1000);
    for (int c = 0; c < o.channels; ++c) {
      DrawPicture(enc[c]->Picture(), c, n, o.startTime > 0 ? o.startTime + elapsed : -1, elapsed, millis, o.seed);
      if (!enc[c]->Encode(n, &packet, error)) return false;
      if (!writePacket(f, c, ts, frameUs, packet.key, packet.data, error)) return false;
    }
  }
  if (!flushUpTo(endUs - 1)) return false;

  if (krv::krv_write_trailer(&f.ctx) < 0) {
    *error = "write error";
    return false;
  }
  return true;
}

}  // namespace krvsynth
