// Shared by the container commands (dump, probe, seek, extract): the output
// lines and argument forms they have in common. (A recording is opened as
// the reader thread opens it with krv::Reader.)
#pragma once

#include <zlib.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "krvreader/krv.h"

namespace krvtool {

// "v", "a", "d" for kinds 0, 1, 2; the number for a kind the metadata set otherwise.
inline std::string KindText(int kind) {
  switch (kind) {
    case krv::KIND_VIDEO: return "v";
    case krv::KIND_AUDIO: return "a";
    case krv::KIND_DATA: return "d";
    default: return std::to_string(kind);
  }
}

// pkt STREAMID DTS_US KEY SIZE CRC32
inline void PrintPacketLine(const krv::RecordingPacket& p) {
  unsigned long crc = crc32(0L, Z_NULL, 0);
  if (p.size > 0) crc = crc32(crc, p.data, static_cast<uInt>(p.size));
  std::printf("pkt %d %lld %d %d %08lx\n", p.stream_index, static_cast<long long>(p.dts), (p.flags & krv::PKT_FLAG_KEY) ? 1 : 0,
              p.size, crc & 0xFFFFFFFFul);
}

// The bus number as one word of a line: control characters become '?'.
inline std::string LineText(const char* s) {
  std::string out;
  for (; *s; ++s) {
    unsigned char c = static_cast<unsigned char>(*s);
    out += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
  }
  return out;
}

inline bool ParseInt(const std::string& text, long long min, long long max, long long* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno || *end || v < min || v > max) return false;
  *out = v;
  return true;
}

inline bool ParseSeconds(const std::string& text, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  double v = std::strtod(text.c_str(), &end);
  if (*end || !std::isfinite(v) || std::fabs(v) > 1e7) return false;
  *out = v;
  return true;
}

}  // namespace krvtool
