#include "vehicle/map_offset.h"

#include <cmath>

namespace vehicle {

int MapOffsetStartRow(double lon, double lat) {
  if (!std::isfinite(lon) || !std::isfinite(lat)) return -1;
  // trunc((x - trunc(x) + trunc(trunc(y) / 100)) * rows), worked in doubles
  // so that no latitude or longitude overflows an integer; the result is
  // held inside the table (a latitude of 100 degrees or more, or a negative
  // longitude, would put it outside).
  const double whole = std::trunc(std::trunc(lat) / 100.0);
  const double row = std::trunc((lon - std::trunc(lon) + whole) * kMapOffsetRows);
  if (!(row > 0)) return 0;
  if (row >= kMapOffsetRows - 1) return kMapOffsetRows - 1;
  return static_cast<int>(row);
}

bool ApplyMapOffset(double* lon, double* lat) {
  const double x = *lon;
  const double y = *lat;
  const int start = MapOffsetStartRow(x, y);
  if (start < 0) return false;
  const double kx = std::trunc(x * 100.0) / 100.0;
  const double ky = std::trunc(y * 100.0) / 100.0;

  // Longitude search: the direction is decided once at the start row, so
  // a key the table lacks ends the walk at the table's end rather than
  // stepping back and forth around it.
  int i = start;
  if (kMapOffsetTable[i].lonKey != kx) {
    const int step = kMapOffsetTable[i].lonKey < kx ? 1 : -1;
    while (kMapOffsetTable[i].lonKey != kx) {
      const int next = i + step;
      if (next < 0 || next >= kMapOffsetRows) break;
      i = next;
      // Past the key in the walk's direction: the table has no such row.
      if (step > 0 ? kMapOffsetTable[i].lonKey > kx : kMapOffsetTable[i].lonKey < kx) break;
    }
    if (kMapOffsetTable[i].lonKey != kx) return false;
  }

  // Latitude search within that longitude, again in one direction; a
  // missing grid point is stepped past and ends the walk.
  if (kMapOffsetTable[i].latKey != ky) {
    const int step = kMapOffsetTable[i].latKey < ky ? 1 : -1;
    while (kMapOffsetTable[i].latKey != ky) {
      const int next = i + step;
      if (next < 0 || next >= kMapOffsetRows || kMapOffsetTable[next].lonKey != kx) break;
      i = next;
      if (step > 0 ? kMapOffsetTable[i].latKey > ky : kMapOffsetTable[i].latKey < ky) break;
    }
  }
  const MapOffsetRow& r = kMapOffsetTable[i];
  if (r.lonKey != kx || r.latKey != ky) return false;
  *lon = x + r.lonOffset;
  *lat = y + r.latOffset;
  return true;
}

}  // namespace vehicle
