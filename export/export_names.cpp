#include "export/export_names.h"

#include <cstdio>
#include <ctime>

namespace avexport {

std::string ProposedName(int64_t recordingStart, int startSecond, const std::string& sourceName, int channel) {
  const size_t slash = sourceName.find_last_of("/\\");
  const std::string file = slash == std::string::npos ? sourceName : sourceName.substr(slash + 1);
  unsigned digits[4] = {0, 0, 0, 0};
  std::sscanf(file.c_str(), "%*[^_]_%01x%01x%01x%01x", &digits[0], &digits[1], &digits[2], &digits[3]);
  std::time_t t = static_cast<std::time_t>(recordingStart + startSecond);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char name[96];
  std::snprintf(name, sizeof name, "%04d%02d%02d%02d%02d%02d_%01x%01x%01x%01x_%02d", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, digits[0] & 0xf, digits[1] & 0xf, digits[2] & 0xf,
                digits[3] & 0xf, channel + 1);
  return name;
}

std::string ChannelName(const std::string& proposed, int k) {
  const size_t under = proposed.rfind('_');
  const std::string base = under == std::string::npos ? std::string() : proposed.substr(0, under + 1);
  const size_t dot = proposed.rfind('.');
  std::string ext = dot == std::string::npos ? std::string() : proposed.substr(dot);
  if (ext.size() > 7) ext.resize(7);
  char number[16];
  std::snprintf(number, sizeof number, "%02d", k);
  return base + number + ext;
}

std::string WithAviExtension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) return path;
  return path + ".avi";
}

}  // namespace avexport
