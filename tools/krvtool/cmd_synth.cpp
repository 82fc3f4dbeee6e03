// krvtool synth OUT.krv [options]: a real recording written with the KRV writer.
#include <cstdio>

#include "command.h"
#include "media_commands.h"
#include "krv_session.h"
#include "synth/synth.h"

namespace krvtool {
namespace {

const char kUsage[] =
    "usage: krvtool synth OUT.krv [--seconds N] [--start YYYYMMDDhhmmss] [--size WxH] [--fps N]\n"
    "                     [--gop N] [--channels 1-4] [--audio adpcm|hisi|none] [--no-data] [--bus TEXT]\n"
    "                     [--seed N] [--g-event S:G]...\n"
    "\n"
    "Writes a recording with the KRV writer, declaring four video, four audio and one\n"
    "data stream (layout 0x91, identifiers 0-3, 4-7, 8). Each of the first --channels\n"
    "channels carries H.264 (libx264, no B-frames, a key frame every --gop frames, a\n"
    "moving picture with the channel, frame number and time drawn in) and 8 kHz mono\n"
    "Microsoft ADPCM in 2036-byte blocks (a tone of its own); the data stream carries\n"
    "\"GPS\" and \"otherSensors\" once a second and \"GSensor\" ten times a second.\n"
    "--g-event S:G (repeatable) puts a G-sensor sample of G along x and 1 G along z\n"
    "at second S (to the tenth) instead of the simulated one: a G event of G.\n"
    "Defaults: --seconds 10, --size 704x576, --fps 25, --gop 25, --channels 4,\n"
    "--audio adpcm, --seed 1, --bus \"\xE7\xB2\xA4" "A.12345\". The same arguments give the same bytes,\n"
    "except \"start_time\", which is the current time unless --start is given (UTC).\n"
    "Exit 0; 1 when OUT.krv cannot be written; 2 on bad usage.\n";

int run(const std::vector<std::string>& args);
const Command kCommand{"synth", kSynthSummary, kUsage, run};
KRVTOOL_COMMAND(kCommand);

int run(const std::vector<std::string>& args) {
  krvsynth::SynthOptions o;
  std::string out;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* v) {
      if (i + 1 >= args.size()) return false;
      *v = args[++i];
      return true;
    };
    std::string v;
    long long n = 0;
    if (a == "--no-data") {
      o.data = false;
    } else if (a == "--seconds" || a == "--fps" || a == "--gop" || a == "--channels" || a == "--seed") {
      if (!value(&v) || !ParseInt(v, 0, 4294967295LL, &n)) return usageError(kCommand, a + " needs a number");
      if (a == "--seconds") o.seconds = n > 100000 ? 100000 : static_cast<int>(n);
      else if (a == "--fps") o.fps = n > 1000 ? 1000 : static_cast<int>(n);
      else if (a == "--gop") o.gop = n > 100000 ? 100000 : static_cast<int>(n);
      else if (a == "--channels") o.channels = n > 100 ? 100 : static_cast<int>(n);
      else o.seed = static_cast<uint32_t>(n);
    } else if (a == "--start") {
      if (!value(&v) || (o.startTime = krvsynth::ParseStartTime(v)) < 0)
        return usageError(kCommand, "--start needs YYYYMMDDhhmmss");
    } else if (a == "--size") {
      int w = 0, h = 0;
      char extra = 0;
      if (!value(&v) || std::sscanf(v.c_str(), "%dx%d%c", &w, &h, &extra) != 2)
        return usageError(kCommand, "--size needs WxH");
      o.width = w;
      o.height = h;
    } else if (a == "--audio") {
      if (!value(&v) || (v != "adpcm" && v != "hisi" && v != "none"))
        return usageError(kCommand, "--audio needs adpcm, hisi or none");
      o.audio = v == "adpcm" ? krvsynth::AudioKind::kAdpcm
                : v == "hisi" ? krvsynth::AudioKind::kHisi
                              : krvsynth::AudioKind::kNone;
    } else if (a == "--g-event") {
      double second = 0, g = 0;
      char extra = 0;
      if (!value(&v) || std::sscanf(v.c_str(), "%lf:%lf%c", &second, &g, &extra) != 2 || !(second >= 0) ||
          !(second < 1e6) || !(g > 0) || !(g < 100))
        return usageError(kCommand, "--g-event needs SECONDS:G");
      o.gEvents.emplace_back(second, g);
    } else if (a == "--bus") {
      if (!value(&v)) return usageError(kCommand, "--bus needs a text");
      o.bus = v;
    } else if (!a.empty() && a[0] == '-') {
      return usageError(kCommand, "unknown option " + a);
    } else if (out.empty()) {
      out = a;
    } else {
      return usageError(kCommand, "expects one OUT.krv");
    }
  }
  if (out.empty()) return usageError(kCommand, "expects OUT.krv");
  std::string bad = krvsynth::CheckOptions(o);
  if (!bad.empty()) return usageError(kCommand, bad);
  std::string error;
  if (!krvsynth::WriteKrv(o, out, &error)) {
    std::fprintf(stderr, "krvtool synth: %s: %s\n", out.c_str(), error.c_str());
    return kFileError;
  }
  return kOk;
}

}  // namespace
}  // namespace krvtool
