// The file-name grammar read by the C library itself: sscanf with the
// grammar's formats, then timegm. ParseRecordName reads the fields by hand
// and must give exactly this for every name; the tests and the record-name
// fuzz target compare the two.
#pragma once

#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#include "core/record_name.h"

namespace corvane::test {

inline RecordName SscanfRecordName(std::string_view name, RecordKind kind) {
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
  r.start = static_cast<int64_t>(::timegm(&tm));
  r.year = tm.tm_year + 1900;
  r.month = tm.tm_mon + 1;
  r.day = tm.tm_mday;
  r.hour = tm.tm_hour;
  r.minute = tm.tm_min;
  r.second = tm.tm_sec;
  r.typeMask = (t[0] << 24) | (t[1] << 16) | (t[2] << 8) | t[3];
  r.channel = kind == RecordKind::Krv ? -1 : (channel >= 1 ? channel - 1 : 0);
  return r;
}

inline bool SameRecordName(const RecordName& a, const RecordName& b) {
  return a.start == b.start && a.year == b.year && a.month == b.month && a.day == b.day && a.hour == b.hour &&
         a.minute == b.minute && a.second == b.second && a.typeMask == b.typeMask && a.channel == b.channel;
}

}  // namespace corvane::test
