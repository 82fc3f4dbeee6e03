// krvtool dump FILE: every packet the reader delivers, then the stream table.
#include <cstdio>

#include "command.h"
#include "krv_session.h"
#include "krvreader/reader.h"

namespace krvtool {
namespace {

const char kUsage[] =
    "usage: krvtool dump FILE\n"
    "\n"
    "Opens FILE as the KRV reader thread does (key-frame seek to 0, header) and\n"
    "reads packets until the reader returns a negative value. Prints:\n"
    "  stream+ SLOT ID KIND                 before a packet whose read created a stream\n"
    "  pkt STREAMID DTS_US KEY SIZE CRC32   one per packet (CRC-32 of the payload, 8 hex digits)\n"
    "  end CODE                             the last, negative result\n"
    "  stream SLOT ID KIND CODEC WIDTH HEIGHT FPS RATE CHANNELS BITS BITRATE   one per slot in use\n"
    "  ctx START_TIME DURATION_US FILESIZE BUSNUM\n"
    "KIND is v, a or d. Exit 0; 1 when FILE cannot be read; 2 on bad usage.\n";

int run(const std::vector<std::string>& args);
const Command kCommand{"dump", "print every packet and the stream table of a KRV file", kUsage, run};
KRVTOOL_COMMAND(kCommand);

int run(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') return usageError(kCommand, "expects one FILE");
  krv::Reader s;
  if (!s.Open(args[0])) {
    std::fprintf(stderr, "krvtool dump: cannot open %s\n", args[0].c_str());
    return kFileError;
  }
  krv::RecordingContext* ctx = s.Context();
  int r;
  for (;;) {
    int before = ctx->nb_streams;
    r = s.Next();
    if (r < 0) break;
    for (int slot = before; slot < ctx->nb_streams && slot < krv::kMaxStreams; ++slot) {
      const krv::RecordingStream* st = ctx->streams[slot];
      std::printf("stream+ %d %d %s\n", slot, st->index, KindText(st->kind).c_str());
    }
    PrintPacketLine(s.Packet());
  }
  std::printf("end %d\n", r);
  for (int slot = 0; slot < krv::kMaxStreams; ++slot) {
    const krv::RecordingStream* st = ctx->streams[slot];
    if (!st) continue;
    std::printf("stream %d %d %s %d %d %d %d %d %d %d %d\n", slot, st->index, KindText(st->kind).c_str(), st->codec_id,
                st->width, st->height, st->fps, st->sample_rate, st->channels, st->bits_per_sample, st->bit_rate);
  }
  std::printf("ctx %lld %lld %lld %s\n", static_cast<long long>(ctx->start_time), static_cast<long long>(ctx->duration),
              static_cast<long long>(ctx->file_size), LineText(ctx->busnum).c_str());
  return std::fflush(stdout) == 0 ? kOk : kFileError;
}

}  // namespace
}  // namespace krvtool
