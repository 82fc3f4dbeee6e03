// The map's offset table and its lookup: the rows the recorder's table is
// known by, its order and ranges, lookups against a plain binary search, and
// positions that must stay uncorrected (and must not read outside the table).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "vehicle/map_offset.h"

namespace {

using vehicle::ApplyMapOffset;
using vehicle::kMapOffsetRows;
using vehicle::kMapOffsetTable;

TEST(MapOffset, TellingRowsOrderKeysAndRanges) {
  const auto& first = kMapOffsetTable[0];
  EXPECT_EQ(first.lonKey, 113.01);
  EXPECT_EQ(first.latKey, 23.01);
  EXPECT_EQ(first.lonOffset, 0.005279);
  EXPECT_EQ(first.latOffset, -0.002711);
  const auto& mid = kMapOffsetTable[4899];
  EXPECT_EQ(mid.lonKey, 113.50);
  EXPECT_EQ(mid.latKey, 23.49);
  EXPECT_EQ(mid.lonOffset, 0.005348);
  EXPECT_EQ(mid.latOffset, -0.002578);
  const auto& last = kMapOffsetTable[kMapOffsetRows - 1];
  EXPECT_EQ(last.lonKey, 113.99);
  EXPECT_EQ(last.latKey, 23.99);
  EXPECT_EQ(last.lonOffset, 0.005048);
  EXPECT_EQ(last.latOffset, -0.002765);

  int row = 0;
  for (int lon = 11301; lon <= 11399; ++lon) {
    for (int lat = 2301; lat <= 2399; ++lat) {
      if ((lon == 11380 && lat == 2323) || (lon == 11381 && lat == 2395)) continue;
      ASSERT_LT(row, kMapOffsetRows);
      const auto& r = kMapOffsetTable[row++];
      // Each key is the double nearest to its hundredths.
      ASSERT_EQ(r.lonKey, lon / 100.0) << row;
      ASSERT_EQ(r.latKey, lat / 100.0) << row;
      EXPECT_GE(r.lonOffset, 0.004887) << row;
      EXPECT_LE(r.lonOffset, 0.005584) << row;
      EXPECT_GE(r.latOffset, -0.002908) << row;
      EXPECT_LE(r.latOffset, -0.00241) << row;
    }
  }
  EXPECT_EQ(row, kMapOffsetRows);
}

TEST(MapOffset, CorrectsAPositionByItsCell) {
  double lon = 113.505, lat = 23.497;
  ASSERT_TRUE(ApplyMapOffset(&lon, &lat));
  EXPECT_EQ(lon, 113.505 + 0.005348);
  EXPECT_EQ(lat, 23.497 - 0.002578);
}

// The reference: a binary search for the cell's keys.
const vehicle::MapOffsetRow* Find(double x, double y) {
  const double kx = std::trunc(x * 100.0) / 100.0;
  const double ky = std::trunc(y * 100.0) / 100.0;
  int lo = 0, hi = kMapOffsetRows - 1;
  while (lo <= hi) {
    const int mid = (lo + hi) / 2;
    const auto& r = kMapOffsetTable[mid];
    if (r.lonKey == kx && r.latKey == ky) return &r;
    if (r.lonKey < kx || (r.lonKey == kx && r.latKey < ky)) lo = mid + 1;
    else hi = mid - 1;
  }
  return nullptr;
}

TEST(MapOffset, LookupsEqualABinarySearchOverKeysAndCellInteriors) {
  int corrected = 0;
  for (int lon = 11290; lon <= 11410; ++lon) {
    for (int lat = 2290; lat <= 2410; ++lat) {
      for (double frac : {0.0, 0.0037, 0.0099}) {
        const double x = lon / 100.0 + frac, y = lat / 100.0 + frac;
        double cx = x, cy = y;
        const bool hit = ApplyMapOffset(&cx, &cy);
        const auto* ref = Find(x, y);
        ASSERT_EQ(hit, ref != nullptr) << x << " " << y;
        if (ref) {
          ++corrected;
          ASSERT_EQ(cx, x + ref->lonOffset);
          ASSERT_EQ(cy, y + ref->latOffset);
        } else {
          ASSERT_EQ(cx, x);
          ASSERT_EQ(cy, y);
        }
      }
    }
  }
  EXPECT_GT(corrected, 9799);
}

TEST(MapOffset, PositionsWithoutARowStayUncorrected) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double cases[][2] = {
      {112.99, 23.5}, {113.5, 24.00}, {113.80, 23.23}, {113.805, 23.235}, {113.81, 23.95},
      {-113.5, 23.5}, {113.5, 150.0}, {113.5, -150.0}, {nan, 23.5},       {113.5, nan},
      {inf, 23.5},    {113.5, inf},   {-inf, -inf},    {1e300, 23.5},     {113.5, 1e300},
      {-1e300, -1e300}, {0, 0},       {114.0, 23.5},   {113.5, 23.0},     {113.5, 99.99}};
  for (const auto& c : cases) {
    double x = c[0], y = c[1];
    EXPECT_FALSE(ApplyMapOffset(&x, &y)) << c[0] << " " << c[1];
    EXPECT_TRUE(x == c[0] || (std::isnan(x) && std::isnan(c[0])));
    EXPECT_TRUE(y == c[1] || (std::isnan(y) && std::isnan(c[1])));
  }
}

TEST(MapOffset, TheStartRowStaysInsideTheTable) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(vehicle::MapOffsetStartRow(113.5, 23.5), 4899);
  EXPECT_EQ(vehicle::MapOffsetStartRow(113.5, 150.0), kMapOffsetRows - 1);
  EXPECT_EQ(vehicle::MapOffsetStartRow(-113.5, 23.5), 0);
  EXPECT_EQ(vehicle::MapOffsetStartRow(1e300, 1e300), kMapOffsetRows - 1);
  EXPECT_EQ(vehicle::MapOffsetStartRow(inf, 23.5), -1);
  EXPECT_EQ(vehicle::MapOffsetStartRow(113.5, std::nan("")), -1);
}

}  // namespace
