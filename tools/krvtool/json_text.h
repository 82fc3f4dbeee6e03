// JSON text for krvtool's machine-readable outputs.
#pragma once

#include <cstdio>
#include <string>

namespace krvtool {

// A JSON string: escapes, and U+FFFD for bytes that are not UTF-8.
inline std::string jsonString(const char* s) {
  std::string out = "\"";
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  while (*p) {
    unsigned char c = *p;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++p;
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
      ++p;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++p;
    } else {
      int len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
      if (c >= 0xF5) len = 0;
      bool ok = len > 0;
      for (int i = 1; ok && i < len; ++i) ok = (p[i] & 0xC0) == 0x80;
      if (ok && len == 3) {
        unsigned cp = (c & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
        ok = cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF);
      } else if (ok && len == 4) {
        unsigned cp = (c & 0x07u) << 18 | (p[1] & 0x3Fu) << 12 | (p[2] & 0x3Fu) << 6 | (p[3] & 0x3Fu);
        ok = cp >= 0x10000 && cp <= 0x10FFFF;
      }
      if (ok) {
        out.append(reinterpret_cast<const char*>(p), static_cast<size_t>(len));
        p += len;
      } else {
        out += "\\ufffd";
        ++p;
      }
    }
  }
  return out + "\"";
}

inline std::string jsonString(const std::string& s) { return jsonString(s.c_str()); }

}  // namespace krvtool
