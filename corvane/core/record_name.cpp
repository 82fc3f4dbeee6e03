#include "record_name.h"

#include <cstdio>
#include <ctime>
#include <string>

namespace corvane {

int RecordTypeImage(RecordTypeMask mask) {
  return ((mask & kTypeManual) ? 8 : 0) | ((mask & kTypeTiming) ? 4 : 0) | ((mask & kTypeMotion) ? 2 : 0) |
         ((mask & kTypeAlarm) ? 1 : 0);
}

RecordName ParseRecordName(std::string_view name, RecordKind kind) {
  // The name with every "." cut off: everything before the first one. A name
  // holding a NUL byte ends there as well.
  std::string base(name.substr(0, name.find('.')));
  int f[6] = {0, 0, 0, 0, 0, 0};
  unsigned t[4] = {0, 0, 0, 0};
  int channel = 0;
  if (kind == RecordKind::Krv)
    std::sscanf(base.c_str(), "%04d%02d%02d%02d%02d%02d_%01x%01x%01x%01x", &f[0], &f[1], &f[2], &f[3], &f[4],
                &f[5], &t[0], &t[1], &t[2], &t[3]);
  else
    std::sscanf(base.c_str(), "%04d%02d%02d%02d%02d%02d_%01x%01x%01x%01x_%02d", &f[0], &f[1], &f[2], &f[3],
                &f[4], &f[5], &t[0], &t[1], &t[2], &t[3], &channel);

  RecordName r;
  std::tm tm{};
  tm.tm_year = f[0] - 1900;
  tm.tm_mon = f[1] - 1;
  tm.tm_mday = f[2];
  tm.tm_hour = f[3];
  tm.tm_min = f[4];
  tm.tm_sec = f[5];
  tm.tm_isdst = 0;
  r.start = static_cast<int64_t>(::timegm(&tm));  // normalises tm as well
  r.year = tm.tm_year + 1900;
  r.month = tm.tm_mon + 1;
  r.day = tm.tm_mday;
  r.hour = tm.tm_hour;
  r.minute = tm.tm_min;
  r.second = tm.tm_sec;
  // %01x reads one hexadecimal digit, so each is 0..15.
  r.typeMask = (t[0] << 24) | (t[1] << 16) | (t[2] << 8) | t[3];
  r.channel = kind == RecordKind::Krv ? -1 : (channel >= 1 ? channel - 1 : 0);
  return r;
}

}  // namespace corvane
