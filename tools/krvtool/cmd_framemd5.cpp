// krvtool framemd5 FILE --channel C [--audio]: checksums of what the
// pipeline's decoders make of one channel.
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "command.h"
#include "media_commands.h"
#include "krv_session.h"
#include "krvreader/reader.h"
#include "media/ac_adpcm_decoder.h"
#include "media/ac_h264_decoder.h"
#include "media/ac_hisi_voice_decoder.h"
#include "media/ac_sync.h"
#include "media/codec_map.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/md5.h>
}

namespace krvtool {
namespace {

const char kUsage[] =
    "usage: krvtool framemd5 FILE --channel C [--audio]\n"
    "\n"
    "Reads FILE as the KRV reader thread does and decodes channel C (0-3) with\n"
    "the pipeline's decoders: its video (stream identifier C) with the H.264\n"
    "decoder at the stream's picture size, or with --audio its sound (stream\n"
    "identifier 4 + C) with the decoder the stream's codec asks for (69638\n"
    "Microsoft ADPCM, 69632 HiSilicon voice). Prints one line per decoded picture\n"
    "or sound block:\n"
    "  DTS_MS MD5\n"
    "DTS_MS is the packet's time in milliseconds; MD5 that of the planar YUV\n"
    "4:2:0 picture the decoder wrote (width x height x 3/2 bytes), or of the\n"
    "16-bit PCM block. Packets that give no new picture or no sound print nothing.\n"
    "Exit 0; 1 when FILE cannot be read or the channel's audio codec is not one\n"
    "of the two; 2 on bad usage.\n";

int run(const std::vector<std::string>& args);
const Command kCommand{"framemd5", kFramemd5Summary, kUsage,
                       run};
KRVTOOL_COMMAND(kCommand);

void printLine(int64_t dtsMs, const unsigned char* data, size_t size) {
  uint8_t digest[16];
  av_md5_sum(digest, data, size);
  char hex[33];
  for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  std::printf("%lld %s\n", static_cast<long long>(dtsMs), hex);
}

const krv::RecordingStream* findStream(krv::RecordingContext* ctx, int id) {
  for (int slot = 0; slot < krv::kMaxStreams; ++slot)
    if (ctx->streams[slot] != nullptr && ctx->streams[slot]->index == id) return ctx->streams[slot];
  return nullptr;
}

int run(const std::vector<std::string>& args) {
  std::string in;
  long long channel = -1;
  bool audio = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--channel") {
      if (i + 1 >= args.size() || !ParseInt(args[++i], 0, 3, &channel))
        return usageError(kCommand, "--channel needs 0-3");
    } else if (a == "--audio") {
      audio = true;
    } else if (!a.empty() && a[0] == '-') {
      return usageError(kCommand, "unknown option " + a);
    } else if (in.empty()) {
      in = a;
    } else {
      return usageError(kCommand, "expects one FILE");
    }
  }
  if (in.empty()) return usageError(kCommand, "expects FILE");
  if (channel < 0) return usageError(kCommand, "expects --channel C");

  krv::Reader s;
  if (!s.Open(in)) {
    std::fprintf(stderr, "krvtool framemd5: cannot open %s\n", in.c_str());
    return kFileError;
  }
  av_log_set_level(AV_LOG_ERROR);
  const int id = static_cast<int>(audio ? 4 + channel : channel);
  // Made for the first packet; the picture buffer is the decode thread's
  // conversion buffer, the largest picture in YUY2.
  std::unique_ptr<media::ACDecoder> decoder;
  int decoderCodec = -1;
  std::vector<unsigned char> picture(media::kMediaBufferBytes);
  krv::RecordingContext* ctx = s.Context();
  const krv::RecordingPacket* pkt = &s.Packet();
  while (s.Next() > 0) {
    if (pkt->stream_index != id || pkt->size <= 0) continue;
    const krv::RecordingStream* st = findStream(ctx, id);
    if (st == nullptr) continue;
    const int64_t dtsMs = pkt->dts / 1000;
    if (!audio) {
      if (st->kind != krv::KIND_VIDEO) continue;
      auto* h264 = static_cast<media::ACH264Decoder*>(decoder.get());
      if (!decoder) {
        decoder = std::make_unique<media::ACH264Decoder>();
        h264 = static_cast<media::ACH264Decoder*>(decoder.get());
        h264->SetOutputCapacity(static_cast<int>(picture.size()));
      }
      int len = 0;
      const unsigned char* out;
      {
        std::lock_guard<media::ACCriticalSection> g(media::CodecLock);
        out = h264->Decode(static_cast<int>(channel), pkt->data, pkt->size, &len, st->width, st->height,
                           picture.data());
      }
      if (out != nullptr && h264->LastHadPicture() && len > 0) printLine(dtsMs, out, static_cast<size_t>(len));
      continue;
    }
    if (st->kind != krv::KIND_AUDIO) continue;
    if (!decoder || decoderCodec != st->codec_id) {
      decoderCodec = st->codec_id;
      if (st->codec_id == media::AC_CODEC_ADPCM_MS)
        decoder = std::make_unique<media::ACADPCMDecoder>();
      else if (st->codec_id == media::AC_CODEC_HISI_VOICE)
        decoder = std::make_unique<media::ACHisiVioceDecoder>();
      else {
        std::fprintf(stderr, "krvtool framemd5: channel %lld audio codec %d is not decoded\n", channel, st->codec_id);
        return kFileError;
      }
    }
    int len = 0;
    const unsigned char* pcm = decoder->Decode(st->codec_id, pkt->data, pkt->size, &len, 0, 0, nullptr);
    if (pcm != nullptr && len > 0) printLine(dtsMs, pcm, static_cast<size_t>(len));
  }
  return std::fflush(stdout) == 0 ? kOk : kFileError;
}

}  // namespace
}  // namespace krvtool
