#include "media/ac_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace media {

namespace {

bool DebugWanted() {
  static const bool wanted = [] {
    const char* v = std::getenv("CORVANE_LOG");
    return v && std::strcmp(v, "debug") == 0;
  }();
  return wanted;
}

}  // namespace

void LogLine(LogLevel level, const char* component, const char* format, ...) {
  if (level == LogLevel::kDebug && !DebugWanted()) return;
  // One write per line, so that lines of several threads do not interleave.
  char line[1024];
  int n = std::snprintf(line, sizeof line, "corvane: %s: ", component ? component : "?");
  if (n < 0) return;
  if (static_cast<size_t>(n) < sizeof line) {
    va_list args;
    va_start(args, format);
    const int m = std::vsnprintf(line + n, sizeof line - static_cast<size_t>(n), format, args);
    va_end(args);
    if (m > 0) n += m;
  }
  if (static_cast<size_t>(n) > sizeof line - 2) n = static_cast<int>(sizeof line - 2);
  line[n++] = '\n';
  std::fwrite(line, 1, static_cast<size_t>(n), stderr);
}

}  // namespace media
