// The one way the program reports damage and failures: one line on stderr,
// "corvane: COMPONENT: message". Lines of level kDebug are written only
// when CORVANE_LOG=debug is set.
#pragma once

namespace media {

enum class LogLevel { kError, kDebug };

// printf-style; the line gets its newline here.
void LogLine(LogLevel level, const char* component, const char* format, ...) __attribute__((format(printf, 3, 4)));

}  // namespace media
