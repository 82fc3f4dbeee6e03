// krvtool events FILE [--threshold G]: the G events of a recording.
#include <cstdio>

#include "command.h"
#include "krv_session.h"
#include "vehicle/record_scan.h"

namespace krvtool {
namespace {

const char kUsage[] =
    "usage: krvtool events FILE [--threshold G]\n"
    "\n"
    "Reads the G-sensor records of FILE and prints one line per G event:\n"
    "  SECONDS PEAK X Y Z\n"
    "SECONDS is the peak sample's time in the recording (3 decimals), PEAK its\n"
    "acceleration beyond gravity, sqrt(x^2 + y^2 + (z - 1)^2) in G, and X Y Z the\n"
    "sample. A sample at or above the threshold (default 0.5 G) is an event;\n"
    "samples over it less than 2 s apart are one event, reported at its peak.\n"
    "Exit 0; 1 when FILE cannot be read; 2 on bad usage.\n";

int run(const std::vector<std::string>& args);
const Command kCommand{"events", "print the G events of a KRV file", kUsage, run};
KRVTOOL_COMMAND(kCommand);

int run(const std::vector<std::string>& args) {
  std::string file;
  double threshold = vehicle::kDefaultGEventThreshold / 100.0;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--threshold") {
      if (i + 1 >= args.size() || !ParseSeconds(args[++i], &threshold) || !(threshold > 0))
        return usageError(kCommand, "--threshold needs a positive number of G");
    } else if (!args[i].empty() && args[i][0] == '-') {
      return usageError(kCommand, "unknown option " + args[i]);
    } else if (file.empty()) {
      file = args[i];
    } else {
      return usageError(kCommand, "expects one FILE");
    }
  }
  if (file.empty()) return usageError(kCommand, "expects one FILE");
  bool opened = false;
  const std::vector<vehicle::GEvent> events = vehicle::ScanGEvents(file, threshold, &opened);
  if (!opened) {
    std::fprintf(stderr, "krvtool events: cannot open %s\n", file.c_str());
    return kFileError;
  }
  for (const vehicle::GEvent& e : events)
    std::printf("%.3f %.3f %.3f %.3f %.3f\n", e.timeMs / 1000.0, e.peak, e.x, e.y, e.z);
  return std::fflush(stdout) == 0 ? kOk : kFileError;
}

}  // namespace
}  // namespace krvtool
