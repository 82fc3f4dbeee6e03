// The source of the export figure: a short synth KRV recording repeated
// into a long one (the packets as they are, times moved on), and one AVI
// holding the same packets (four H.264 and four ADPCM streams), for
// `ffmpeg -c copy` to cut the same stretch from.
//
// usage: export_bench_source SEED.krv SECONDS OUT.krv OUT.avi
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
}

#include "export/avi_output.h"
#include "krvreader/krv.h"
#include "krvreader/reader.h"

namespace {

struct Packet {
  int id;
  int kind;
  int64_t dts;  // us
  bool key;
  std::vector<unsigned char> data;
};

struct Stream {
  int kind = krv::KIND_VIDEO;
  int width = 0, height = 0, fps = 25;
};

int fail(const char* what) {
  std::fprintf(stderr, "export_bench_source: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: export_bench_source SEED.krv SECONDS OUT.krv OUT.avi\n");
    return 2;
  }
  const int64_t seconds = std::atoll(argv[2]);
  krv::Reader r;
  if (!r.Open(argv[1])) return fail("cannot open the seed");
  std::vector<Packet> seed;
  Stream streams[krv::kMaxStreams];
  int64_t span = 0;
  while (r.Next() > 0) {
    const krv::RecordingPacket& p = r.Packet();
    const krv::RecordingStream* st = r.PacketStream();
    if (!st || p.stream_index < 0 || p.stream_index > 8) continue;
    streams[p.stream_index].kind = st->kind;
    streams[p.stream_index].width = st->width;
    streams[p.stream_index].height = st->height;
    if (st->fps > 0 && st->fps <= 1000) streams[p.stream_index].fps = st->fps;
    seed.push_back(Packet{p.stream_index, st->kind, p.dts, (p.flags & krv::PKT_FLAG_KEY) != 0,
                          std::vector<unsigned char>(p.data, p.data + p.size)});
    if (p.dts > span) span = p.dts;
  }
  if (seed.empty()) return fail("the seed holds no packet");
  span = (span / 1000000 + 1) * 1000000;  // whole seconds, so key frames stay on seconds
  const int64_t repeats = (seconds * 1000000 + span - 1) / span;

  // The long KRV with the container's writer.
  krv::RecordingContext ctx{};
  if (krv::url_fopen(&ctx.pb, argv[3], krv::URL_WRONLY) != 0) return fail("cannot create the KRV");
  ctx.start_time = 1388128183;
  for (int i = 0; i < 9; ++i) {
    krv::RecordingStream* st = krv::av_new_stream(&ctx, 0);
    st->kind = i < 4 ? krv::KIND_VIDEO : i < 8 ? krv::KIND_AUDIO : krv::KIND_DATA;
    st->codec_id = i < 4 ? krv::CODEC_H264 : i < 8 ? krv::CODEC_ADPCM_MS : 0;
    st->width = streams[i % 4].width;
    st->height = streams[i % 4].height;
    st->r_frame_rate = {i < 4 ? streams[i].fps : 0, 1};
    st->sample_rate = i >= 4 && i < 8 ? 8000 : 0;
    st->channels = i >= 4 && i < 8 ? 1 : 0;
    st->bits_per_sample = i >= 4 && i < 8 ? 16 : 0;
  }
  if (krv::krv_write_header(&ctx) < 0) return fail("cannot write the KRV header");

  // The AVI of the same packets: streams 0-3 video, 4-7 sound.
  AVFormatContext* oc = nullptr;
  if (avformat_alloc_output_context2(&oc, nullptr, "avi", argv[4]) < 0 || !oc) return fail("no AVI muxer");
  for (int i = 0; i < 8; ++i) {
    AVStream* st = avformat_new_stream(oc, nullptr);
    if (!st) return fail("out of memory");
    if (i < 4) {
      st->time_base = AVRational{1, streams[i].fps};
      st->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
      st->codecpar->codec_id = AV_CODEC_ID_H264;
      st->codecpar->width = streams[i].width;
      st->codecpar->height = streams[i].height;
    } else {
      st->time_base = AVRational{avexport::AviOutput::kBlockSamples, avexport::AviOutput::kSampleRate};
      AVCodecParameters* ap = st->codecpar;
      ap->codec_type = AVMEDIA_TYPE_AUDIO;
      ap->codec_id = AV_CODEC_ID_ADPCM_MS;
      ap->sample_rate = avexport::AviOutput::kSampleRate;
      av_channel_layout_default(&ap->ch_layout, 1);
      ap->bits_per_coded_sample = 4;
      ap->block_align = avexport::AviOutput::kBlockBytes;
      ap->frame_size = avexport::AviOutput::kBlockSamples;
      ap->extradata = static_cast<uint8_t*>(av_mallocz(64));
      avexport::AviOutput::AdpcmExtradata(avexport::AviOutput::kBlockSamples, ap->extradata);
      ap->extradata_size = avexport::AviOutput::kAdpcmExtraBytes;
    }
  }
  if (avio_open(&oc->pb, argv[4], AVIO_FLAG_WRITE) < 0 || avformat_write_header(oc, nullptr) < 0)
    return fail("cannot write the AVI header");
  AVPacket* pkt = av_packet_alloc();
  int64_t counts[8] = {};

  for (int64_t rep = 0; rep < repeats; ++rep) {
    for (const Packet& p : seed) {
      const int64_t dts = p.dts + rep * span;
      krv::RecordingPacket kp{};
      kp.data = const_cast<unsigned char*>(p.data.data());
      kp.size = static_cast<int>(p.data.size());
      kp.stream_index = p.id;
      kp.dts = kp.pts = dts;
      kp.flags = p.key ? krv::PKT_FLAG_KEY : 0;
      if (krv::krv_write_packet(&ctx, &kp) < 0) return fail("cannot write the KRV");
      if (p.id >= 8) continue;
      pkt->data = const_cast<unsigned char*>(p.data.data());
      pkt->size = static_cast<int>(p.data.size());
      pkt->stream_index = p.id;
      // Video on its own time (frames), sound block after block.
      const int64_t ts = p.id < 4 ? av_rescale(dts, streams[p.id].fps, 1000000) : counts[p.id];
      pkt->pts = pkt->dts = ts;
      pkt->duration = 1;
      pkt->flags = p.key ? AV_PKT_FLAG_KEY : 0;
      ++counts[p.id];
      if (av_write_frame(oc, pkt) < 0) return fail("cannot write the AVI");
    }
  }
  pkt->data = nullptr;
  av_packet_free(&pkt);
  if (av_write_trailer(oc) < 0) return fail("cannot finish the AVI");
  avio_closep(&oc->pb);
  avformat_free_context(oc);
  krv::krv_write_trailer(&ctx);
  krv::krv_read_close(&ctx);
  krv::url_fclose(ctx.pb);
  return 0;
}
