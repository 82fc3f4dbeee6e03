#include "synth/picture.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace krvsynth {

namespace {

// 5x7 glyphs, one byte per row, bit 4 leftmost.
struct Glyph {
  char c;
  uint8_t rows[7];
};
constexpr Glyph kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}}, {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
};

const uint8_t* glyphRows(char c) {
  for (const auto& g : kFont)
    if (g.c == c) return g.rows;
  return nullptr;  // blank
}

void fillRect(const PlanarPicture& p, int x0, int y0, int w, int h, uint8_t yv) {
  int x1 = x0 + w, y1 = y0 + h;
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  if (x1 > p.width) x1 = p.width;
  if (y1 > p.height) y1 = p.height;
  for (int y = y0; y < y1; ++y) std::memset(p.y + y * p.yStride + x0, yv, x1 > x0 ? static_cast<size_t>(x1 - x0) : 0);
}

// Text in luma only, white on a black band, clipped to the picture.
void drawText(const PlanarPicture& p, int x, int y, int scale, const char* text) {
  int len = static_cast<int>(std::strlen(text));
  fillRect(p, x - scale, y - scale, len * 6 * scale + scale, 9 * scale, 16);
  for (int i = 0; i < len; ++i) {
    const uint8_t* rows = glyphRows(text[i]);
    if (!rows) continue;
    for (int r = 0; r < 7; ++r)
      for (int c = 0; c < 5; ++c)
        if (rows[r] >> (4 - c) & 1) fillRect(p, x + (i * 6 + c) * scale, y + r * scale, scale, scale, 235);
  }
}

// Chroma of the four channels: red, blue, green, purple.
constexpr uint8_t kChannelU[4] = {90, 200, 70, 190};
constexpr uint8_t kChannelV[4] = {200, 100, 70, 190};

}  // namespace

void DrawPicture(const PlanarPicture& p, int channel, int64_t frameIndex, int64_t wallClock, int64_t elapsedSec,
                 int millis, uint32_t seed) {
  const int ch = channel & 3;
  const int shift = static_cast<int>((frameIndex * (3 + ch) + seed * 37u) & 255);
  for (int y = 0; y < p.height; ++y) {
    uint8_t* row = p.y + y * p.yStride;
    for (int x = 0; x < p.width; ++x) row[x] = static_cast<uint8_t>(48 + ((x + y * (ch + 1) / 2 + shift) & 127));
  }
  for (int y = 0; y < p.height / 2; ++y) {
    uint8_t* u = p.u + y * p.uvStride;
    uint8_t* v = p.v + y * p.uvStride;
    for (int x = 0; x < p.width / 2; ++x) {
      u[x] = static_cast<uint8_t>(kChannelU[ch] + ((x + seed) & 15));
      v[x] = static_cast<uint8_t>(kChannelV[ch] + (y & 15));
    }
  }
  // A box bouncing across the picture.
  int boxW = p.width / 5 > 2 ? p.width / 5 : 2, boxH = p.height / 5 > 2 ? p.height / 5 : 2;
  int spanX = p.width - boxW, spanY = p.height - boxH;
  int64_t tx = frameIndex * (4 + ch) + seed * 13u, ty = frameIndex * (3 + ch) + seed * 7u;
  int bx = spanX > 0 ? static_cast<int>(tx % (2 * spanX)) : 0;
  int by = spanY > 0 ? static_cast<int>(ty % (2 * spanY)) : 0;
  if (bx > spanX) bx = 2 * spanX - bx;
  if (by > spanY) by = 2 * spanY - by;
  fillRect(p, bx, by, boxW, boxH, 220);

  int scale = p.height / 144 > 1 ? p.height / 144 : 1;
  char line[64];
  std::snprintf(line, sizeof line, "CH%d F%06lld", ch + 1, static_cast<long long>(frameIndex));
  drawText(p, 2 * scale, 2 * scale, scale, line);
  if (wallClock >= 0) {
    time_t t = static_cast<time_t>(wallClock);
    struct tm tm;
    gmtime_r(&t, &tm);
    std::snprintf(line, sizeof line, "%04d-%02d-%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    drawText(p, 2 * scale, 12 * scale, scale, line);
    std::snprintf(line, sizeof line, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
  } else {
    std::snprintf(line, sizeof line, "%02lld:%02lld:%02lld.%03d", static_cast<long long>(elapsedSec / 3600),
                  static_cast<long long>(elapsedSec / 60 % 60), static_cast<long long>(elapsedSec % 60), millis);
  }
  drawText(p, 2 * scale, 22 * scale, scale, line);
}

}  // namespace krvsynth
