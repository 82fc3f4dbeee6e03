// Fuzz target of the KRV reader: the bytes go through opening (key-frame
// seek to 0, header), reading to the end, both key-frame seeks with reads
// after them, and the information probe (whole, and for a list row). Built
// as a libFuzzer binary with -DCORVANE_FUZZ=ON (clang), and run over
// generated seeds by the tests.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "krvreader/krv.h"
#include "mem_protocol.h"

namespace {

// Enough to reach the end of any input the fuzzer makes (each packet uses at
// least 16 bytes), while bounding the time of one run.
constexpr int kMaxPackets = 100000;

void readSome(krv::RecordingContext* ctx, krv::RecordingPacket* pkt, int count) {
  for (int i = 0; i < count; ++i)
    if (krv::krv_read_packet(ctx, pkt) < 0) break;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  krvfuzz::RegisterMemoryProtocol();
  krvfuzz::SetMemoryFile(data, size);

  // Seek targets come from the last bytes, so the fuzzer can steer them.
  int64_t target = 0;
  if (size >= 4) {
    uint32_t t;
    std::memcpy(&t, data + size - 4, 4);
    target = static_cast<int64_t>(t) * 4;  // up to about 4.8 hours, in microseconds
  }

  auto* ctx = new krv::RecordingContext{};
  // One packet for the whole process, as the reader thread keeps one: its
  // 614400-byte buffer is allocated once, not once per run (under ASan that
  // allocation and its release cost more than the parsing). The reader
  // still releases it after a read that got nothing.
  static krv::RecordingPacket pkt{};
  if (krv::url_fopen(&ctx->pb, krvfuzz::kMemoryFileName, krv::URL_RDONLY) == 0) {
    krv::krv_seek_keyframe(ctx, 0);
    krv::krv_read_header(ctx);
    readSome(ctx, &pkt, kMaxPackets);

    krv::krv_seek_keyframe_estimate(ctx, 0, 0, ctx->duration);
    readSome(ctx, &pkt, 2);
    krv::krv_seek_keyframe_estimate(ctx, target, 0, ctx->duration);
    readSome(ctx, &pkt, 2);
    krv::krv_seek_keyframe_estimate(ctx, target, ctx->file_size, ctx->duration);
    readSome(ctx, &pkt, 2);
    krv::krv_seek_keyframe(ctx, target);
    readSome(ctx, &pkt, 2);
    krv::krv_seek_keyframe(ctx, target / 3);
    readSome(ctx, &pkt, 2);
    krv::krv_seek_keyframe(ctx, 0);
    readSome(ctx, &pkt, 2);
    krv::url_fclose(ctx->pb);
  }
  krv::krv_read_close(ctx);
  delete ctx;

  int64_t start = 0, duration = 0, bitRate = 0;
  char bus[64];
  int w[4], h[4], vr[4], ar[4], fr[4];
  krv::krv_probe_info(krvfuzz::kMemoryFileName, &start, &duration, &bitRate, bus, sizeof bus, w, 4, h, 4, vr, 4, ar, 4,
                      fr, 4);
  // The probe of a list row, which walks the other streams' arrays for the
  // file-level values only.
  krv::KrvProbeResult row;
  krv::krv_probe_video(krvfuzz::kMemoryFileName, 4, &row);
  krv::krv_probe_video(krvfuzz::kMemoryFileName, 1, &row);
  int video, audio, dataCount;
  krv::krv_probe_counts(krvfuzz::kMemoryFileName, &video, &audio, &dataCount);
  return 0;
}
