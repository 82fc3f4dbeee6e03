// krvtool seek FILE SECONDS [--exact]: one of the two key-frame seeks.
#include <cmath>
#include <cstdio>

#include "command.h"
#include "krv_session.h"
#include "krvreader/reader.h"

namespace krvtool {
namespace {

const char kUsage[] =
    "usage: krvtool seek FILE SECONDS [--exact]\n"
    "\n"
    "Opens FILE as for dump and reads one packet (so the metadata is parsed), then\n"
    "seeks to SECONDS (may have decimals) with the estimated key-frame seek, or with\n"
    "the exact key-frame seek when --exact is given. Prints\n"
    "  found 0|1 pos BYTE_OFFSET\n"
    "(the byte reader's position after the seek), then reads one packet and prints\n"
    "its pkt line as dump does, or end CODE.\n"
    "Exit 0; 1 when FILE cannot be read; 2 on bad usage.\n";

int run(const std::vector<std::string>& args);
const Command kCommand{"seek", "seek a KRV file to a key frame and print where it landed", kUsage, run};
KRVTOOL_COMMAND(kCommand);

int run(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  bool exact = false;
  for (const auto& a : args) {
    if (a == "--exact") exact = true;
    else if (a.size() > 1 && a[0] == '-' && !(a[1] >= '0' && a[1] <= '9') && a[1] != '.')
      return usageError(kCommand, "unknown option " + a);
    else positional.push_back(a);
  }
  double seconds = 0;
  if (positional.size() != 2) return usageError(kCommand, "expects FILE and SECONDS");
  if (!ParseSeconds(positional[1], &seconds)) return usageError(kCommand, "SECONDS must be a number");
  krv::Reader s;
  if (!s.Open(positional[0])) {
    std::fprintf(stderr, "krvtool seek: cannot open %s\n", positional[0].c_str());
    return kFileError;
  }
  krv::RecordingContext* ctx = s.Context();
  s.Next();
  const int64_t target = std::llround(seconds * 1000000.0);
  bool found = exact ? krv::krv_seek_keyframe(ctx, target)
                     : krv::krv_seek_keyframe_estimate(ctx, target, 0, ctx->duration);
  std::printf("found %d pos %lld\n", found ? 1 : 0, static_cast<long long>(krv::url_ftell(ctx->pb)));
  int r = s.Next();
  if (r < 0) std::printf("end %d\n", r);
  else PrintPacketLine(s.Packet());
  return std::fflush(stdout) == 0 ? kOk : kFileError;
}

}  // namespace
}  // namespace krvtool
