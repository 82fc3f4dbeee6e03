#include "krvreader/record_start.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace krv {

namespace {

struct NameFields {
  int f[6] = {0, 0, 0, 0, 0, 0};
  unsigned t[4] = {0, 0, 0, 0};
  int channel = 0;
};

// The name after the last '/', cut at its first '.', in a bounded buffer.
NameFields scanName(const char* path) {
  NameFields n;
  if (!path) return n;
  const char* base = std::strrchr(path, '/');
  base = base ? base + 1 : path;
  char name[256];
  size_t len = 0;
  while (base[len] && base[len] != '.' && len < sizeof name - 1) ++len;
  std::memcpy(name, base, len);
  name[len] = '\0';
  std::sscanf(name, "%04d%02d%02d%02d%02d%02d_%01x%01x%01x%01x_%02d", &n.f[0], &n.f[1], &n.f[2], &n.f[3], &n.f[4],
              &n.f[5], &n.t[0], &n.t[1], &n.t[2], &n.t[3], &n.channel);
  return n;
}

}  // namespace

int64_t RecordStartFromName(const char* path) {
  NameFields n = scanName(path);
  std::tm tm{};
  tm.tm_year = n.f[0] - 1900;
  tm.tm_mon = n.f[1] - 1;
  tm.tm_mday = n.f[2];
  tm.tm_hour = n.f[3];
  tm.tm_min = n.f[4];
  tm.tm_sec = n.f[5];
  tm.tm_isdst = 0;
  return static_cast<int64_t>(::timegm(&tm));
}

int RecordChannelFromName(const char* path) {
  NameFields n = scanName(path);
  return n.channel >= 1 ? n.channel - 1 : 0;
}

}  // namespace krv
