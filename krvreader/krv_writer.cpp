// The KRV writer: file header, one metadata tag whose "duration" and
// "filesize" are patched in by the trailer, and one tag per packet.
#include <cmath>
#include <cstring>
#include <new>
#include <ctime>

#include "krv.h"
#include "krv_internal.h"

namespace krv {

using namespace detail;

namespace {

// The writer's state, kept in the context's private data between the header
// and the trailer.
struct WriterState {
  int64_t metadataSizePos = 0;  // the metadata tag's 24-bit size field
  int64_t durationPos = 0;      // the "duration" value (type byte)
  int64_t fileSizePos = 0;      // the "filesize" value (type byte)
  int64_t maxEndTime = 0;       // largest pts + delay + duration, microseconds
  int64_t delay = 0;            // added to every timestamp (H.264 with negative first dts)
};

// Sample-rate codes as they sit in bits 3-2 of the audio flags.
struct RateCode {
  int rate;
  int bits;
};
constexpr RateCode kRateCodes[] = {{5512, 0x00}, {8000, 0x00}, {11025, 0x04}, {22050, 0x08}, {44100, 0x0C}};

// Codec bits of the audio flags. The recorder's own sound (Microsoft ADPCM,
// HiSilicon voice frames) carries 0xF0, a codec number that the reader maps
// to no codec: the metadata's "audiocodecid" names the codec.
struct CodecBits {
  int codec;
  int bits;
};
constexpr CodecBits kCodecBits[] = {
    {CODEC_PCM_S8, 0x00},   {CODEC_PCM_S16LE, 0x02},  {CODEC_PCM_S16BE, 0x62}, {CODEC_ADPCM_SWF, 0x10},
    {CODEC_MP3, 0x22},      {CODEC_ADPCM_MS, 0xF0},   {CODEC_HISI_VOICE, 0xF0},
};

// The flags byte of an audio tag, or -1 for parameters the format cannot express.
int audioFlags(const RecordingStream* st) {
  int flags = st->bits_per_sample == 16 ? 0x02 : 0x00;
  int rateBits = -1;
  for (const auto& r : kRateCodes)
    if (r.rate == st->sample_rate) rateBits = r.bits;
  if (rateBits < 0) return -1;
  flags |= rateBits;
  if (st->channels > 1) flags |= 0x01;
  for (const auto& c : kCodecBits)
    if (c.codec == st->codec_id) return flags | c.bits;
  return -1;
}

void putAmfString(ByteIOContext* pb, const char* s) {
  size_t len = std::strlen(s);
  put_be16(pb, static_cast<unsigned>(len));
  put_buffer(pb, reinterpret_cast<const unsigned char*>(s), static_cast<int>(len));
}

void putAmfDouble(ByteIOContext* pb, double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  put_byte(pb, 0);
  put_be64(pb, bits);
}

void putAmfBool(ByteIOContext* pb, bool b) {
  put_byte(pb, 1);
  put_byte(pb, b ? 1 : 0);
}

void putArrayEnd(ByteIOContext* pb) {
  put_be16(pb, 0);  // empty key
  put_byte(pb, 9);  // object end
}

}  // namespace

int krv_write_header(RecordingContext* ctx) {
  if (!ctx || !ctx->pb) return -1;
  ByteIOContext* pb = ctx->pb;

  int video = 0, audio = 0, data = 0;
  for (int i = 0; i < ctx->nb_streams && i < kMaxStreams; ++i) {
    const RecordingStream* st = ctx->streams[i];
    if (!st) return -1;
    if (st->kind == KIND_VIDEO) ++video;
    else if (st->kind == KIND_AUDIO) ++audio;
    else if (st->kind == KIND_DATA) ++data;
    else return -1;
    if (st->kind == KIND_AUDIO && audioFlags(st) < 0) return -1;
  }
  // The layout byte has 3 bits for video, 3 for audio and 2 for data streams;
  // larger counts would spill into the neighbouring fields.
  if (video > 7 || audio > 7 || data > 3) return -1;

  auto* w = new (std::nothrow) WriterState{};
  if (!w) return KRV_ENOMEM;
  ctx->priv_data = w;

  put_tag(pb, "KRV");
  put_byte(pb, 1);
  put_byte(pb, video * 32 + audio * 4 + data);
  put_be32(pb, 9);  // header size
  put_be32(pb, 0);  // previous tag size

  put_be32(pb, kStartCode);
  put_byte(pb, kTagMeta);
  w->metadataSizePos = url_ftell(pb);
  put_be24(pb, 0);  // size, filled in below
  put_be24(pb, 0);  // timestamp
  put_be32(pb, 0);  // timestamp bits 24-31, stream identifier

  put_byte(pb, 2);
  putAmfString(pb, "onMetaData");
  put_byte(pb, 8);
  put_be32(pb, ctx->busnum[0] ? 4 : 3);
  putAmfString(pb, "start_time");
  // A start time given by the caller is kept; else the current time.
  putAmfDouble(pb, static_cast<double>(ctx->start_time > 0 ? ctx->start_time : std::time(nullptr)));
  putAmfString(pb, "duration");
  w->durationPos = url_ftell(pb);
  putAmfDouble(pb, 0);
  putAmfString(pb, "filesize");
  w->fileSizePos = url_ftell(pb);
  putAmfDouble(pb, 0);
  if (ctx->busnum[0]) {
    char bus[sizeof ctx->busnum];
    std::memcpy(bus, ctx->busnum, sizeof bus);
    bus[sizeof bus - 1] = '\0';
    putAmfString(pb, "busnum");
    put_byte(pb, 2);
    putAmfString(pb, bus);
  }
  putArrayEnd(pb);

  for (int i = 0; i < ctx->nb_streams && i < kMaxStreams; ++i) {
    RecordingStream* st = ctx->streams[i];
    if (st->kind == KIND_VIDEO) {
      put_byte(pb, 8);
      put_be32(pb, 7);
      putAmfString(pb, "streamtype");
      putAmfDouble(pb, st->kind);
      putAmfString(pb, "streamid");
      putAmfDouble(pb, st->index);
      putAmfString(pb, "width");
      putAmfDouble(pb, st->width);
      putAmfString(pb, "height");
      putAmfDouble(pb, st->height);
      putAmfString(pb, "videodatarate");
      putAmfDouble(pb, st->bit_rate / 1024.0);
      double fps = 0;
      if (st->r_frame_rate.num && st->r_frame_rate.den)
        fps = static_cast<double>(st->r_frame_rate.num) / st->r_frame_rate.den;
      else if (st->time_base.num)
        fps = static_cast<double>(st->time_base.den) / st->time_base.num;
      putAmfString(pb, "framerate");
      putAmfDouble(pb, fps);
      putAmfString(pb, "videocodecid");
      putAmfDouble(pb, st->codec_id);
      putArrayEnd(pb);
    } else if (st->kind == KIND_AUDIO) {
      put_byte(pb, 8);
      put_be32(pb, 6);  // seven entries follow; readers go by the empty key
      putAmfString(pb, "streamtype");
      putAmfDouble(pb, st->kind);
      putAmfString(pb, "streamid");
      putAmfDouble(pb, st->index);
      putAmfString(pb, "audiodatarate");
      putAmfDouble(pb, st->bit_rate / 1024.0);
      putAmfString(pb, "audiosamplerate");
      putAmfDouble(pb, st->sample_rate);
      putAmfString(pb, "audiosamplesize");
      putAmfDouble(pb, st->codec_id == CODEC_PCM_S8 ? 8 : 16);
      putAmfString(pb, "stereo");
      putAmfBool(pb, st->channels == 2);
      putAmfString(pb, "audiocodecid");
      putAmfDouble(pb, st->codec_id);
      putArrayEnd(pb);
    }
    st->time_base = {1, 1000000};
    st->pts_wrap_bits = 32;
  }

  int64_t end = url_ftell(pb);
  int64_t dataSize = end - w->metadataSizePos - 10;
  url_fseek(pb, w->metadataSizePos, SEEK_SET);
  put_be24(pb, static_cast<unsigned>(dataSize));
  url_fseek(pb, end, SEEK_SET);
  put_be32(pb, static_cast<unsigned>(dataSize + kHeaderFieldsSize));
  put_flush_packet(pb);
  return url_ferror(pb) < 0 ? KRV_EIO : 0;
}

int krv_write_packet(RecordingContext* ctx, const RecordingPacket* pkt) {
  if (!ctx || !ctx->pb || !ctx->priv_data || !pkt) return KRV_EINVAL;
  auto* w = static_cast<WriterState*>(ctx->priv_data);
  ByteIOContext* pb = ctx->pb;
  if (pkt->stream_index < 0 || pkt->stream_index >= ctx->nb_streams || pkt->stream_index >= kMaxStreams)
    return KRV_EINVAL;
  const RecordingStream* st = ctx->streams[pkt->stream_index];
  // Checked before anything is written, so that a refused packet leaves the
  // file as it was: the kind, the payload (audio and data must not be
  // empty; the 24-bit size field holds at most 0xFFFFFE payload bytes) and
  // the timestamp (32 bits).
  if (!st || pkt->size < 0 || (pkt->size > 0 && !pkt->data) || pkt->size > 0xFFFFFE) return KRV_EINVAL;
  int type, flags;
  switch (st->kind) {
    case KIND_VIDEO:
      type = kTagVideo;
      flags = (pkt->flags & PKT_FLAG_KEY) ? 0x10 : 0x20;
      break;
    case KIND_AUDIO:
      type = kTagAudio;
      flags = audioFlags(st);
      if (flags < 0 || pkt->size == 0) return KRV_EINVAL;
      break;
    case KIND_DATA:
      type = kTagData;
      flags = 0;
      if (pkt->size == 0) return KRV_EINVAL;
      break;
    default:
      return KRV_EINVAL;
  }
  if (pkt->dts == kNoPts) return KRV_EINVAL;
  int64_t delay = w->delay;
  if (st->codec_id == CODEC_H264 && delay == 0 && pkt->dts < 0) delay = -pkt->dts;
  int64_t ts = pkt->dts + delay;
  if (ts < 0 || ts > 0xFFFFFFFFLL) return KRV_EINVAL;
  w->delay = delay;

  put_be32(pb, kStartCode);
  put_byte(pb, type);
  put_be24(pb, static_cast<unsigned>(pkt->size + 1));
  put_be24(pb, static_cast<unsigned>(ts & 0xFFFFFF));
  put_byte(pb, static_cast<int>(ts >> 24 & 0xFF));  // all eight high bits
  put_be24(pb, static_cast<unsigned>(st->index) & 0xFFFFFF);
  put_byte(pb, flags);
  if (pkt->size > 0) put_buffer(pb, pkt->data, pkt->size);
  put_be32(pb, static_cast<unsigned>(pkt->size + 16));

  int64_t pts = pkt->pts == kNoPts ? pkt->dts : pkt->pts;
  int64_t endTime = pts + delay + pkt->duration;
  if (endTime > w->maxEndTime) w->maxEndTime = endTime;
  put_flush_packet(pb);
  return url_ferror(pb) < 0 ? KRV_EIO : 0;
}

int krv_write_trailer(RecordingContext* ctx) {
  if (!ctx || !ctx->pb || !ctx->priv_data) return KRV_EINVAL;
  auto* w = static_cast<WriterState*>(ctx->priv_data);
  ByteIOContext* pb = ctx->pb;
  int64_t fileSize = url_ftell(pb);
  url_fseek(pb, w->durationPos, SEEK_SET);
  putAmfDouble(pb, static_cast<double>(w->maxEndTime / 1000));  // whole milliseconds
  url_fseek(pb, w->fileSizePos, SEEK_SET);
  putAmfDouble(pb, static_cast<double>(fileSize));
  url_fseek(pb, fileSize, SEEK_SET);
  put_flush_packet(pb);
  delete w;
  ctx->priv_data = nullptr;
  return url_ferror(pb) < 0 ? KRV_EIO : 0;
}

}  // namespace krv
