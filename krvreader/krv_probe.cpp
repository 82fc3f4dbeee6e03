// The information probe: what the catalogue shows of a recording without
// playing it (start time, duration, bus number, per-stream picture facts).
#include <cstdio>
#include <cstring>
#include <new>

#include "krv.h"
#include "krv_internal.h"

namespace krv {

using namespace detail;

namespace {

constexpr int kProbeBufferBytes = 4096;

// Opens `filename`, builds the stream table from the layout byte (none for
// a layout byte of 0) and parses the metadata tags at the head of the file.
// The caller frees the streams and closes the byte reader.
int probeOpen(const char* filename, RecordingContext* ctx) {
  std::snprintf(ctx->filename, sizeof ctx->filename, "%s", filename);
  // The head of a recording (header and metadata) fits in a few hundred
  // bytes; a small buffer keeps the probe from reading far past it.
  if (openWithBufferSize(&ctx->pb, ctx->filename, URL_RDONLY, kProbeBufferBytes) < 0) return KRV_ENOENT;
  ByteIOContext* pb = ctx->pb;
  url_fskip(pb, 4);
  int layout = get_byte(pb);
  if (layout != 0) {
    int r = createLayoutStreams(ctx, layout);
    if (r < 0) return r;
  }
  int64_t headerSize = get_be32(pb);
  url_fseek(pb, headerSize, SEEK_SET);

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
    if (size >= kMinMetadataSize) parseMetadata(ctx, next);
    url_fseek(pb, next, SEEK_SET);
  }
  if (ctx->duration < 0) ctx->duration = 0;
  return 0;
}

void fill(int* out, int count, const RecordingContext* ctx, int first, int streams, int RecordingStream::*field) {
  if (!out) return;
  int n = count < streams ? count : streams;
  for (int i = 0; i < n; ++i) {
    int slot = first + i;
    if (slot < 0 || slot >= kMaxStreams || !ctx->streams[slot]) break;
    out[i] = ctx->streams[slot]->*field;
  }
}

}  // namespace

int krv_probe_info(const char* filename, int64_t* start_time, int64_t* duration_us, int64_t* total_bit_rate,
                   char* busnum, int busnum_len, int* widths, int widths_count, int* heights, int heights_count,
                   int* video_bit_rates, int video_bit_rates_count, int* audio_bit_rates, int audio_bit_rates_count,
                   int* frame_rates, int frame_rates_count) {
  if (!filename) return 0;
  auto* ctx = new (std::nothrow) RecordingContext{};
  if (!ctx) return KRV_ENOMEM;
  int r = probeOpen(filename, ctx);
  if (r == 0) {
    if (start_time && ctx->start_time) *start_time = ctx->start_time;
    if (duration_us && ctx->duration) *duration_us = ctx->duration;
    if (total_bit_rate && ctx->bit_rate) *total_bit_rate = ctx->bit_rate;
    if (busnum && busnum_len > 0 && ctx->busnum[0]) std::snprintf(busnum, static_cast<size_t>(busnum_len), "%s", ctx->busnum);
    int video = ctx->nb_video_streams;
    int audio = ctx->nb_audio_streams;
    fill(widths, widths_count, ctx, 0, video, &RecordingStream::width);
    fill(heights, heights_count, ctx, 0, video, &RecordingStream::height);
    fill(video_bit_rates, video_bit_rates_count, ctx, 0, video, &RecordingStream::bit_rate);
    fill(frame_rates, frame_rates_count, ctx, 0, video, &RecordingStream::fps);
    fill(audio_bit_rates, audio_bit_rates_count, ctx, video, audio, &RecordingStream::bit_rate);
  }
  krv_read_close(ctx);
  if (ctx->pb) url_fclose(ctx->pb);
  delete ctx;
  return r == KRV_ENOMEM ? KRV_ENOMEM : 0;
}

int krv_probe_counts(const char* filename, int* video, int* audio, int* data) {
  if (!filename) return KRV_ENOENT;
  auto* ctx = new (std::nothrow) RecordingContext{};
  if (!ctx) return KRV_ENOMEM;
  int r = probeOpen(filename, ctx);
  if (r == 0) {
    if (video) *video = ctx->nb_video_streams;
    if (audio) *audio = ctx->nb_audio_streams;
    if (data) *data = ctx->nb_data_streams;
  }
  krv_read_close(ctx);
  if (ctx->pb) url_fclose(ctx->pb);
  delete ctx;
  return r;
}

}  // namespace krv
