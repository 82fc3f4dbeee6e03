// krvtool synth-folder DIR [--seed N] [--size WxH]: the demo record folder.
#include <cstdio>

#include "command.h"
#include "media_commands.h"
#include "krv_session.h"
#include "synth/synth.h"

namespace krvtool {
namespace {

const char kUsage[] =
    "usage: krvtool synth-folder DIR [--seed N] [--size WxH]\n"
    "\n"
    "Writes a small recorder tree into DIR (created when missing): date folders\n"
    "20240315 and 20240316 holding six KRV recordings of 20-60 s that cover the four\n"
    "record types (YYYYMMDDhhmmss_TTTT.krv), and one recording period as four\n"
    "per-channel AVI files (YYYYMMDDhhmmss_TTTT_CC.avi, H.264 + Microsoft ADPCM).\n"
    "--size sets the picture size (default 704x576). Prints the files written.\n"
    "Exit 0; 1 when a file cannot be written; 2 on bad usage.\n";

int run(const std::vector<std::string>& args);
const Command kCommand{"synth-folder", kSynthFolderSummary, kUsage, run};
KRVTOOL_COMMAND(kCommand);

int run(const std::vector<std::string>& args) {
  std::string dir;
  long long seed = 1;
  int width = 704, height = 576;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--seed") {
      if (i + 1 >= args.size() || !ParseInt(args[++i], 0, 4294967295LL, &seed))
        return usageError(kCommand, "--seed needs a number");
    } else if (a == "--size") {
      char extra = 0;
      if (i + 1 >= args.size() || std::sscanf(args[++i].c_str(), "%dx%d%c", &width, &height, &extra) != 2)
        return usageError(kCommand, "--size needs WxH");
    } else if (!a.empty() && a[0] == '-') {
      return usageError(kCommand, "unknown option " + a);
    } else if (dir.empty()) {
      dir = a;
    } else {
      return usageError(kCommand, "expects one DIR");
    }
  }
  if (dir.empty()) return usageError(kCommand, "expects DIR");
  krvsynth::SynthOptions check;
  check.width = width;
  check.height = height;
  std::string bad = krvsynth::CheckOptions(check);
  if (!bad.empty()) return usageError(kCommand, bad);
  std::vector<std::string> written;
  std::string error;
  bool ok = krvsynth::WriteDemoFolder(dir, static_cast<uint32_t>(seed), width, height, &written, &error);
  for (const auto& f : written) std::printf("%s\n", f.c_str());
  if (!ok) {
    std::fprintf(stderr, "krvtool synth-folder: %s\n", error.c_str());
    return kFileError;
  }
  return kOk;
}

}  // namespace
}  // namespace krvtool
