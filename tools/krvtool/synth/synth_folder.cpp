// krvsynth::WriteDemoFolder: a small recorder tree for trying Corvane out.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "synth/synth.h"

namespace krvsynth {

namespace {

struct DemoRecording {
  const char* start;  // YYYYMMDDhhmmss, also the file name's date and time
  const char* types;  // manual, timing, motion, alarm digits
  int seconds;
  int bus;            // index into kBuses
};

// Six KRV recordings over two days covering the four record types.
constexpr DemoRecording kKrv[] = {
    {"20240315083000", "1000", 30, 0}, {"20240315091500", "0100", 45, 0}, {"20240315120000", "0010", 20, 0},
    {"20240316074500", "0001", 25, 1}, {"20240316103000", "0100", 60, 1}, {"20240316164000", "0011", 40, 1},
};
// One period as per-channel AVI files.
constexpr DemoRecording kAvi = {"20240316180000", "1000", 20, 1};

const char* const kBuses[] = {"\xE7\xB2\xA4" "A.12345", "\xE7\xB2\xA4" "B.D6789"};  // 粤A.12345, 粤B.D6789

bool makeDir(const std::string& path, std::string* error) {
  if (::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) {
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  }
  *error = "cannot create the folder " + path;
  return false;
}

}  // namespace

bool WriteDemoFolder(const std::string& dir, uint32_t seed, int width, int height, std::vector<std::string>* written,
                     std::string* error) {
  if (!makeDir(dir, error)) return false;
  auto options = [&](const DemoRecording& r, uint32_t salt) {
    SynthOptions o;
    o.seconds = r.seconds;
    o.startTime = ParseStartTime(r.start);
    o.width = width;
    o.height = height;
    o.bus = kBuses[r.bus];
    o.seed = seed * 101u + salt;
    return o;
  };
  uint32_t salt = 0;
  for (const auto& r : kKrv) {
    std::string day = dir + "/" + std::string(r.start, 8);
    if (!makeDir(day, error)) return false;
    std::string path = day + "/" + r.start + "_" + r.types + ".krv";
    if (!WriteKrv(options(r, salt++), path, error)) return false;
    if (written) written->push_back(path);
  }
  std::string day = dir + "/" + std::string(kAvi.start, 8);
  if (!makeDir(day, error)) return false;
  for (int c = 0; c < 4; ++c) {
    char name[64];
    std::snprintf(name, sizeof name, "/%s_%s_%02d.avi", kAvi.start, kAvi.types, c + 1);
    std::string path = day + name;
    if (!WriteAviChannel(options(kAvi, salt), c, path, error)) return false;
    if (written) written->push_back(path);
  }
  return true;
}

}  // namespace krvsynth
