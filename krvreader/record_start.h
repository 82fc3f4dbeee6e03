// What a recording's file name tells its reader: the start time (the name's
// date and time read as UTC) and, for an AVI file, the channel.
//
//   YYYYMMDDhhmmss_TTTT.krv  /  YYYYMMDDhhmmss_TTTT_CC.avi
//
// The catalogue reads the whole grammar (corvane/core/record_name.h); the
// reader threads need only these two facts and must not depend on it.
#pragma once

#include <cstdint>

namespace krv {

// Seconds since 1970 from the file name after the last '/' (up to its first
// '.'), fields the name does not supply taken as 0, normalised as the C
// library's UTC conversion does.
int64_t RecordStartFromName(const char* path);

// The AVI channel (0-based) from the name's "_CC" suffix: CC - 1, or 0 when
// the suffix is missing or below 1. Not bounded above: callers check it.
int RecordChannelFromName(const char* path);

}  // namespace krv
