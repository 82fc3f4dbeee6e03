// krvtool probe FILE: the information probe the catalogue uses, as JSON.
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <string>

#include "command.h"
#include "core/record_probe.h"
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
    "0 where the probe sets nothing. A FILE named *.avi goes through the catalogue's\n"
    "AVI probe: start_time 0, its video streams in file order (none when it cannot\n"
    "be probed), no audio entries.\n"
    "Exit 0; 1 when FILE cannot be read; 2 on bad usage.\n";

int run(const std::vector<std::string>& args);
const Command kCommand{"probe", "print the information probe of a KRV or AVI file as JSON", kUsage, run};
KRVTOOL_COMMAND(kCommand);

std::string VideoEntry(int width, int height, int bitrate, int frameRate) {
  return "{\"width\": " + std::to_string(width) + ", \"height\": " + std::to_string(height) +
         ", \"bitrate\": " + std::to_string(bitrate) + ", \"framerate\": " + std::to_string(frameRate) + "}";
}

bool IsAviName(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".avi";
}

// The catalogue's AVI probe (loaded from its module at first use).
int RunAvi(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fprintf(stderr, "krvtool probe: cannot open %s\n", path.c_str());
    return kFileError;
  }
  corvane::ProbeFacts facts;
  corvane::ProbeAvi(path, &facts);
  int channels = 0;
  for (int c = 0; c < corvane::kProbeChannels; ++c)
    if (facts.width[c] || facts.height[c] || facts.videoBitrate[c] || facts.frameRate[c]) channels = c + 1;
  std::string out = "{\"start_time\": 0, \"duration_us\": " + std::to_string(facts.durationUs) +
                    ", \"bus_number\": " + jsonString(facts.carNumber.c_str()) + ", \"video\": [";
  for (int c = 0; c < channels; ++c) {
    if (c) out += ", ";
    out += VideoEntry(facts.width[c], facts.height[c], facts.videoBitrate[c], facts.frameRate[c]);
  }
  out += "], \"audio\": []}\n";
  std::fputs(out.c_str(), stdout);
  return std::fflush(stdout) == 0 ? kOk : kFileError;
}

int run(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') return usageError(kCommand, "expects one FILE");
  if (IsAviName(args[0])) return RunAvi(args[0]);
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
    out += VideoEntry(widths[i], heights[i], videoRates[i], frameRates[i]);
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
