// Reading speed of the KRV reader.
//   krv_read_bench write FILE MEGABYTES   writes a recording of at least that size
//   krv_read_bench read FILE              reads it with krv_read_packet, prints MB/s
// The recording is written with the container's writer from random payload
// bytes of a recorder's sizes: four channels of 25 fps H.264-sized packets
// (key frames of about 60 KB every second, other frames of 4-12 KB), four
// channels of 2036-byte sound blocks, and vehicle records.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "krvreader/krv.h"

namespace {

uint64_t rng = 88172645463325252ull;
uint64_t next() {
  rng ^= rng << 13;
  rng ^= rng >> 7;
  rng ^= rng << 17;
  return rng;
}

int writeRecording(const char* path, int64_t megabytes) {
  krv::RecordingContext ctx{};
  if (krv::url_fopen(&ctx.pb, path, krv::URL_WRONLY) < 0) {
    std::fprintf(stderr, "cannot create %s\n", path);
    return 1;
  }
  for (int i = 0; i < 9; ++i) {
    krv::RecordingStream* st = krv::av_new_stream(&ctx, i);
    st->kind = i < 4 ? krv::KIND_VIDEO : i < 8 ? krv::KIND_AUDIO : krv::KIND_DATA;
    st->codec_id = i < 4 ? krv::CODEC_H264 : i < 8 ? krv::CODEC_ADPCM_MS : 0;
    st->width = i < 4 ? 704 : 0;
    st->height = i < 4 ? 576 : 0;
    st->r_frame_rate = {25, 1};
    st->sample_rate = i < 8 && i >= 4 ? 8000 : 0;
    st->channels = 1;
    st->bits_per_sample = 16;
    st->bit_rate = i < 4 ? 2000000 : 0;
  }
  ctx.start_time = 1710491400;
  if (krv::krv_write_header(&ctx) < 0) return 1;
  std::vector<unsigned char> buf(200000);
  for (auto& b : buf) b = static_cast<unsigned char>(next());
  const int64_t target = megabytes * 1000000;
  krv::RecordingPacket pkt{};
  pkt.data = buf.data();
  auto put = [&](int stream, int64_t ts, int size, bool key) {
    pkt.stream_index = stream;
    pkt.dts = pkt.pts = ts;
    pkt.size = size;
    pkt.flags = key ? krv::PKT_FLAG_KEY : 0;
    // A different stretch of the random bytes each time.
    pkt.data = buf.data() + next() % (buf.size() - static_cast<size_t>(size));
    krv::krv_write_packet(&ctx, &pkt);
  };
  int64_t frame = 0;
  while (krv::url_ftell(ctx.pb) < target) {
    int64_t ts = frame * 40000 % 4294967296LL;  // stays within the 32-bit range on any size
    for (int c = 0; c < 4; ++c) {
      bool key = frame % 25 == 0;
      put(c, ts, key ? 50000 + static_cast<int>(next() % 20000) : 4000 + static_cast<int>(next() % 8000), key);
    }
    if (frame % 13 == 0)
      for (int c = 0; c < 4; ++c) put(4 + c, ts, 2036, true);
    if (frame % 25 == 0) {
      put(8, ts, 182, false);
      put(8, ts, 61, false);
    }
    if (frame % 3 == 0) put(8, ts, 54, false);
    ++frame;
  }
  krv::krv_write_trailer(&ctx);
  krv::krv_read_close(&ctx);
  krv::url_fclose(ctx.pb);
  return 0;
}

int readRecording(const char* path) {
  auto* ctx = new krv::RecordingContext{};
  std::snprintf(ctx->filename, sizeof ctx->filename, "%s", path);
  if (krv::url_fopen(&ctx->pb, ctx->filename, krv::URL_RDONLY) < 0) {
    std::fprintf(stderr, "cannot open %s\n", path);
    return 1;
  }
  auto start = std::chrono::steady_clock::now();
  krv::krv_seek_keyframe(ctx, 0);
  krv::krv_read_header(ctx);
  krv::RecordingPacket pkt{};
  int64_t packets = 0, bytes = 0;
  unsigned check = 0;
  int r;
  while ((r = krv::krv_read_packet(ctx, &pkt)) > 0) {
    ++packets;
    bytes += r;
    check += pkt.data[r / 2];
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  int64_t fileSize = krv::url_fsize(ctx->pb);
  std::printf("packets %lld payload_bytes %lld file_bytes %lld seconds %.3f MB/s %.1f (check %u)\n",
              static_cast<long long>(packets), static_cast<long long>(bytes), static_cast<long long>(fileSize), seconds,
              static_cast<double>(fileSize) / 1e6 / seconds, check);
  krv::packet_free(&pkt);
  krv::krv_read_close(ctx);
  krv::url_fclose(ctx->pb);
  delete ctx;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && !std::strcmp(argv[1], "write")) return writeRecording(argv[2], std::atoll(argv[3]));
  if (argc == 3 && !std::strcmp(argv[1], "read")) return readRecording(argv[2]);
  std::fprintf(stderr, "usage: krv_read_bench write FILE MEGABYTES | read FILE\n");
  return 2;
}
