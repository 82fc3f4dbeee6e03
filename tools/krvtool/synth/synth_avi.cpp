// krvsynth::WriteAviChannel: one channel of a recording period as an AVI file
// (H.264 + Microsoft ADPCM) through libavformat's AVI muxer.
#include <cstring>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include "synth/h264_encoder.h"
#include "synth/synth.h"
#include "synth/tracks.h"

namespace krvsynth {

namespace {

struct OutputDeleter {
  void operator()(AVFormatContext* oc) const {
    if (oc->pb) avio_closep(&oc->pb);
    avformat_free_context(oc);
  }
};
struct PacketDeleter {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};

bool writeOne(AVFormatContext* oc, AVPacket* pkt, AVStream* st, AVRational tb, const uint8_t* data, size_t size,
              int64_t pts, int64_t duration, bool key, std::string* error) {
  if (av_new_packet(pkt, static_cast<int>(size)) < 0) {
    *error = "out of memory";
    return false;
  }
  std::memcpy(pkt->data, data, size);
  pkt->stream_index = st->index;
  pkt->pts = pkt->dts = pts;
  pkt->duration = duration;
  pkt->flags = key ? AV_PKT_FLAG_KEY : 0;
  av_packet_rescale_ts(pkt, tb, st->time_base);
  int r = av_interleaved_write_frame(oc, pkt);
  av_packet_unref(pkt);
  if (r < 0) {
    *error = "AVI write error";
    return false;
  }
  return true;
}

}  // namespace

bool WriteAviChannel(const SynthOptions& o, int channel, const std::string& path, std::string* error) {
  // An AVI file is not bound by the KRV's 32-bit microsecond times: a
  // period may run up to a day.
  SynthOptions checked = o;
  if (o.seconds > 0 && o.seconds <= 86400) checked.seconds = 1;
  std::string bad = CheckOptions(checked);
  if (!bad.empty()) {
    *error = bad;
    return false;
  }
  AVFormatContext* raw = nullptr;
  if (avformat_alloc_output_context2(&raw, nullptr, "avi", path.c_str()) < 0 || !raw) {
    *error = "libavformat has no AVI muxer";
    return false;
  }
  std::unique_ptr<AVFormatContext, OutputDeleter> oc(raw);
  oc->flags |= AVFMT_FLAG_BITEXACT;

  const int64_t videoBitRate = VideoBitRate(o.width, o.height, o.fps);
  const AVRational videoTb{1, o.fps}, audioTb{1, kAudioRate};
  AVStream* vs = avformat_new_stream(oc.get(), nullptr);
  AVStream* as = o.audio == AudioKind::kAdpcm ? avformat_new_stream(oc.get(), nullptr) : nullptr;
  if (!vs || (o.audio == AudioKind::kAdpcm && !as)) {
    *error = "out of memory";
    return false;
  }
  vs->time_base = videoTb;
  vs->avg_frame_rate = vs->r_frame_rate = AVRational{o.fps, 1};
  AVCodecParameters* vp = vs->codecpar;
  vp->codec_type = AVMEDIA_TYPE_VIDEO;
  vp->codec_id = AV_CODEC_ID_H264;
  vp->width = o.width;
  vp->height = o.height;
  vp->format = AV_PIX_FMT_YUV420P;
  vp->bit_rate = videoBitRate;
  if (as) {
    as->time_base = audioTb;
    AVCodecParameters* ap = as->codecpar;
    ap->codec_type = AVMEDIA_TYPE_AUDIO;
    ap->codec_id = AV_CODEC_ID_ADPCM_MS;
    ap->sample_rate = kAudioRate;
    av_channel_layout_default(&ap->ch_layout, 1);
    ap->block_align = kAdpcmBlockBytes;
    ap->bits_per_coded_sample = 4;
    ap->frame_size = kAdpcmBlockSamples;
    ap->bit_rate = kAudioBitRate;
    std::vector<uint8_t> extra = AdpcmMsExtradata(kAdpcmBlockSamples);
    ap->extradata = static_cast<uint8_t*>(av_mallocz(extra.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!ap->extradata) {
      *error = "out of memory";
      return false;
    }
    std::memcpy(ap->extradata, extra.data(), extra.size());
    ap->extradata_size = static_cast<int>(extra.size());
  }

  if (avio_open(&oc->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) {
    *error = "cannot create " + path;
    return false;
  }
  if (avformat_write_header(oc.get(), nullptr) < 0) {
    *error = "cannot write the AVI header of " + path;
    return false;
  }

  H264Encoder enc;
  if (!enc.Open(o.width, o.height, o.fps, o.gop, videoBitRate, error)) return false;
  std::unique_ptr<AVPacket, PacketDeleter> pkt(av_packet_alloc());
  if (!pkt) {
    *error = "out of memory";
    return false;
  }

  const int64_t frames = static_cast<int64_t>(o.seconds) * o.fps;
  const int64_t blocks = as ? AudioBlockCount(o.seconds) : 0;
  int64_t nextBlock = 0;
  EncodedPacket packet;
  for (int64_t n = 0; n < frames; ++n) {
    const int64_t ts = n * 1000000 / o.fps;
    while (nextBlock < blocks && nextBlock * kAudioBlockUs <= ts) {
      std::vector<uint8_t> block = AudioBlock(channel, nextBlock);
      if (!writeOne(oc.get(), pkt.get(), as, audioTb, block.data(), block.size(), nextBlock * kAdpcmBlockSamples,
                    kAdpcmBlockSamples, true, error))
        return false;
      ++nextBlock;
    }
    const int64_t elapsed = ts / 1000000;
    DrawPicture(enc.Picture(), channel, n, o.startTime > 0 ? o.startTime + elapsed : -1, elapsed,
                static_cast<int>(ts / 1000 % 1000), o.seed);
    if (!enc.Encode(n, &packet, error)) return false;
    if (!writeOne(oc.get(), pkt.get(), vs, videoTb, packet.data.data(), packet.data.size(), n, 1, packet.key, error))
      return false;
  }
  for (; nextBlock < blocks; ++nextBlock) {
    std::vector<uint8_t> block = AudioBlock(channel, nextBlock);
    if (!writeOne(oc.get(), pkt.get(), as, audioTb, block.data(), block.size(), nextBlock * kAdpcmBlockSamples,
                  kAdpcmBlockSamples, true, error))
      return false;
  }
  if (av_write_trailer(oc.get()) < 0) {
    *error = "AVI write error";
    return false;
  }
  return true;
}

}  // namespace krvsynth
