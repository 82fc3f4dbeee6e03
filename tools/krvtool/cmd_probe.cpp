// krvtool probe FILE: the information probe the catalogue uses, as JSON.
#include <cstdio>
#include <string>

#include "command.h"
#include "json_text.h"
#include "krv_session.h"

namespace krvtool {
namespace {

const char kUsage[] =
    "usage: krvtool probe FILE\n"
    "\n"
    "Runs the information probe on FILE and prints one JSON object on one line:\n"
    "  {\"start_time\": int, \"duration_us\": int, \"bus_number\": str,\n"
    "   \"video\": [{\"width\": int, \"height\": int, \"bitrate\": int, \"framerate\": int}, ...],\n"
    "   \"audio\": [{\"bitrate\": int}, ...]}\n"
    "with min(4, video streams) video and min(4, audio streams) audio entries,\n"
    "0 where the probe sets nothing. Exit 0; 1 when FILE cannot be read; 2 on bad usage.\n";

int run(const std::vector<std::string>& args);
const Command kCommand{"probe", "print the information probe of a KRV file as JSON", kUsage, run};
KRVTOOL_COMMAND(kCommand);

int run(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') return usageError(kCommand, "expects one FILE");
  const char* path = args[0].c_str();
  int video = 0, audio = 0;
  int r = krv::krv_probe_counts(path, &video, &audio, nullptr);
  if (r == krv::KRV_ENOENT) {
    std::fprintf(stderr, "krvtool probe: cannot open %s\n", path);
    return kFileError;
  }
  int64_t start = 0, duration = 0, bitRate = 0;
  char bus[256] = {};
  int widths[4] = {}, heights[4] = {}, videoRates[4] = {}, audioRates[4] = {}, frameRates[4] = {};
  if (r == 0)
    r = krv::krv_probe_info(path, &start, &duration, &bitRate, bus, sizeof bus, widths, 4, heights, 4, videoRates, 4,
                            audioRates, 4, frameRates, 4);
  if (r < 0) {
    std::fprintf(stderr, "krvtool probe: %s: the probe failed (%d)\n", path, r);
    return kFileError;
  }
  std::string out = "{\"start_time\": " + std::to_string(start) + ", \"duration_us\": " + std::to_string(duration) +
                    ", \"bus_number\": " + jsonString(bus) + ", \"video\": [";
  for (int i = 0; i < video && i < 4; ++i) {
    if (i) out += ", ";
    out += "{\"width\": " + std::to_string(widths[i]) + ", \"height\": " + std::to_string(heights[i]) +
           ", \"bitrate\": " + std::to_string(videoRates[i]) + ", \"framerate\": " + std::to_string(frameRates[i]) + "}";
  }
  out += "], \"audio\": [";
  for (int i = 0; i < audio && i < 4; ++i) {
    if (i) out += ", ";
    out += "{\"bitrate\": " + std::to_string(audioRates[i]) + "}";
  }
  out += "]}\n";
  std::fputs(out.c_str(), stdout);
  return std::fflush(stdout) == 0 ? kOk : kFileError;
}

}  // namespace
}  // namespace krvtool
