// The information probe: what the catalogue shows of a recording without
// playing it (start time, duration, bus number, per-stream picture facts).
#include <cstring>

#include "krv.h"
#include "krv_internal.h"

namespace krv {

using namespace detail;

namespace {

constexpr int kProbeBufferBytes = 2048;

// A probe's context and the records of its streams, together on the caller's
// stack: the catalogue probes every recording of a folder, and nothing of a
// probe outlives the call. Closing the byte reader is all there is to free.
struct ProbeContext {
  RecordingContext ctx{};
  RecordingStream streams[kMaxStreams];  // made by createStream in slot order
  unsigned char buffer[kProbeBufferBytes];  // the byte reader's buffer
  OpenStorage storage;                       // and the rest of it

  ProbeContext() = default;
  ProbeContext(const ProbeContext&) = delete;
  ProbeContext& operator=(const ProbeContext&) = delete;
  ~ProbeContext() {
    if (ctx.pb) closeKeepingBuffer(ctx.pb);
  }
};

// Opens `filename` (a name in the folder dirFd when that is 0 or above),
// builds the stream table from the layout byte (none for a layout byte of 0)
// and parses the metadata tags at the head of the file; of the streams, only
// the first factVideo video streams (all streams when negative) take their
// facts from it. regularFile: the caller vouches that the name in dirFd is a
// regular file (OpenOptions::regularFile).
int probeOpen(const char* filename, ProbeContext* probe, int dirFd = -1, int factVideo = -1,
              bool regularFile = false) {
  RecordingContext* ctx = &probe->ctx;
  copyText(ctx->filename, sizeof ctx->filename, filename);
  // The head of a recording (header and metadata) fits in a few hundred
  // bytes; a small buffer keeps the probe from reading far past it.
  OpenOptions options;
  options.bufferSize = kProbeBufferBytes;
  options.buffer = probe->buffer;
  options.dirFd = dirFd;
  options.regularFile = regularFile;
  options.storage = &probe->storage;
  if (openContext(&ctx->pb, ctx->filename, URL_RDONLY, options) < 0) return KRV_ENOENT;
  ByteIOContext* pb = ctx->pb;
  url_fskip(pb, 4);
  int layout = get_byte(pb);
  if (layout != 0) {
    int r = createLayoutStreams(ctx, layout, probe->streams);
    if (r < 0) return r;
  }
  int64_t headerSize = get_be32(pb);
  url_fseek(pb, headerSize, SEEK_SET);
  // The video streams hold the first slots.
  const int factSlots = factVideo < 0                          ? kMaxStreams
                        : factVideo < ctx->nb_video_streams ? factVideo
                                                               : ctx->nb_video_streams;

  for (;;) {
    url_fskip(pb, 4);
    int type = 0;
    if (readTagStart(pb, &type) < 0) break;
    int size = static_cast<int>(get_be24(pb));
    get_be32(pb);  // timestamp
    if (url_feof(pb)) break;
    get_be24(pb);  // stream identifier
    if (size == 0) continue;
    int64_t next = url_ftell(pb) + size;
    if (type != kTagMeta) break;
    if (size >= kMinMetadataSize) parseMetadata(ctx, next, factSlots);
    url_fseek(pb, next, SEEK_SET);
  }
  if (ctx->duration < 0) ctx->duration = 0;
  return 0;
}

// out[i] := field of stream first + i, for the first min(count, streams) streams.
void fill(int* out, int count, const KrvProbeResult& r, int first, int streams, int KrvProbeStream::*field) {
  if (!out) return;
  int n = count < streams ? count : streams;
  for (int i = 0; i < n; ++i) {
    int slot = first + i;
    if (slot < 0 || slot >= r.nb_streams) break;
    out[i] = r.streams[slot].*field;
  }
}

int probeInto(int dirFd, const char* filename, KrvProbeResult* out, int factVideo = -1, bool regularFile = false) {
  if (!out) return KRV_EINVAL;
  std::memset(out, 0, sizeof *out);
  out->file_size = -1;
  if (!filename) return KRV_ENOENT;
  ProbeContext probe;
  int r = probeOpen(filename, &probe, dirFd, factVideo, regularFile);
  const RecordingContext& ctx = probe.ctx;
  if (ctx.pb && !regularFile) {
    int64_t size = sizeAtOpen(ctx.pb);
    if (size < 0) size = url_fsize(ctx.pb);
    out->file_size = size < 0 ? -1 : size;
  }
  if (r < 0) return r;
  out->start_time = ctx.start_time;
  out->duration_us = ctx.duration;
  out->bit_rate = ctx.bit_rate;
  out->nb_streams = ctx.nb_streams;
  out->nb_video_streams = ctx.nb_video_streams;
  out->nb_audio_streams = ctx.nb_audio_streams;
  out->nb_data_streams = ctx.nb_data_streams;
  for (int i = 0; i < ctx.nb_streams && i < kMaxStreams; ++i) {
    const RecordingStream* st = ctx.streams[i];
    if (!st) break;
    out->streams[i] = {st->kind, st->width, st->height, st->bit_rate, st->fps};
  }
  copyText(out->busnum, sizeof out->busnum, ctx.busnum);
  return 0;
}

}  // namespace

int krv_probe(const char* filename, KrvProbeResult* out) { return probeInto(-1, filename, out); }

int krv_probe_video(const char* filename, int video_streams, KrvProbeResult* out) {
  return probeInto(-1, filename, out, video_streams);
}

int krv_probe_at(int dirfd, const char* name, KrvProbeResult* out) { return krv_probe_video_at(dirfd, name, -1, out); }

namespace {

int probeAt(int dirfd, const char* name, int video_streams, KrvProbeResult* out, bool regularFile) {
  if (dirfd < 0) {
    if (out) {
      std::memset(out, 0, sizeof *out);
      out->file_size = -1;
    }
    return out ? KRV_ENOENT : KRV_EINVAL;
  }
  return probeInto(dirfd, name, out, video_streams, regularFile);
}

}  // namespace

int krv_probe_video_at(int dirfd, const char* name, int video_streams, KrvProbeResult* out) {
  return probeAt(dirfd, name, video_streams, out, false);
}

int krv_probe_regular_at(int dirfd, const char* name, int video_streams, KrvProbeResult* out) {
  return probeAt(dirfd, name, video_streams, out, true);
}

int krv_probe_info(const char* filename, int64_t* start_time, int64_t* duration_us, int64_t* total_bit_rate,
                   char* busnum, int busnum_len, int* widths, int widths_count, int* heights, int heights_count,
                   int* video_bit_rates, int video_bit_rates_count, int* audio_bit_rates, int audio_bit_rates_count,
                   int* frame_rates, int frame_rates_count) {
  if (!filename) return 0;
  KrvProbeResult res;
  int r = krv_probe(filename, &res);
  if (r == 0) {
    if (start_time && res.start_time) *start_time = res.start_time;
    if (duration_us && res.duration_us) *duration_us = res.duration_us;
    if (total_bit_rate && res.bit_rate) *total_bit_rate = res.bit_rate;
    if (busnum && busnum_len > 0 && res.busnum[0]) copyText(busnum, static_cast<size_t>(busnum_len), res.busnum);
    int video = res.nb_video_streams;
    int audio = res.nb_audio_streams;
    fill(widths, widths_count, res, 0, video, &KrvProbeStream::width);
    fill(heights, heights_count, res, 0, video, &KrvProbeStream::height);
    fill(video_bit_rates, video_bit_rates_count, res, 0, video, &KrvProbeStream::bit_rate);
    fill(frame_rates, frame_rates_count, res, 0, video, &KrvProbeStream::fps);
    fill(audio_bit_rates, audio_bit_rates_count, res, video, audio, &KrvProbeStream::bit_rate);
  }
  return r == KRV_ENOMEM ? KRV_ENOMEM : 0;
}

int krv_probe_counts(const char* filename, int* video, int* audio, int* data) {
  if (!filename) return KRV_ENOENT;
  ProbeContext probe;
  int r = probeOpen(filename, &probe);
  if (r == 0) {
    if (video) *video = probe.ctx.nb_video_streams;
    if (audio) *audio = probe.ctx.nb_audio_streams;
    if (data) *data = probe.ctx.nb_data_streams;
  }
  return r;
}

}  // namespace krv
