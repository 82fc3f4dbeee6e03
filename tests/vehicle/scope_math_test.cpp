// The chart's arithmetic: plot edges and range labels, the label row's texts
// and units, the value-to-pixel mapping at and beyond the plot's edges, the
// mouse bands, and the ring of 400 points with its read-out.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "vehicle/scope_math.h"

namespace {

using namespace vehicle;

TEST(ChartArithmetic, PlotLeftEdgesAndRangeLabels) {
  EXPECT_EQ(ScopePlotLeft(-2.0, 2.0, 1), 30);
  EXPECT_EQ(ScopePlotLeft(-10, 10, 3), (1 + 4 + 3) * 6);
  EXPECT_EQ(ScopePlotLeft(-250, 1000, 0), (3 + 4) * 6);
  EXPECT_EQ(ScopePlotLeft(0.0, 2.0, 1), 30) << "a bound of 0 counts as no digits";
  EXPECT_EQ(ScopePlotLeft(0.0, 0.5, 2), 36);
  EXPECT_EQ(ScopeRangeLabel(2.0, 1), "2.0G");
  EXPECT_EQ(ScopeRangeLabel(-2.0, 1), "-2.0G");
  EXPECT_EQ(ScopeRangeLabel(-10, 3), "-10.000G");
  EXPECT_TRUE(ValidScopeRange(-2, 2));
  EXPECT_FALSE(ValidScopeRange(2, 2));
  EXPECT_FALSE(ValidScopeRange(3, 2));
  EXPECT_FALSE(ValidScopeRange(std::nan(""), 2));
  EXPECT_FALSE(ValidScopeRange(-std::numeric_limits<double>::infinity(), 2));
}

TEST(ChartArithmetic, LabelTextsAndUnitConversions) {
  EXPECT_EQ(ScopeAxisLabel('X', 0.5), "X:  0.500");
  EXPECT_EQ(ScopeAxisLabel('X', -0.5), "X: -0.500");
  EXPECT_EQ(ScopeAxisLabel('Y', 0.0), "Y:  0.000");
  EXPECT_EQ(ScopeSpeedText(100, 1), "62.1 ");
  EXPECT_STREQ(ScopeSpeedUnit(1), "mph");
  EXPECT_EQ(ScopeSpeedText(100, 0), "100.0 ");
  EXPECT_STREQ(ScopeSpeedUnit(0), "km/h");
  EXPECT_EQ(ScopeTemperatureText(20.6, 1), "69.1 ");
  EXPECT_STREQ(ScopeTemperatureUnit(1), "F");
  EXPECT_EQ(ScopeTemperatureText(20.6, 0), "20.6 ");
  EXPECT_STREQ(ScopeTemperatureUnit(0), "C");
}

TEST(ChartArithmetic, ValuesMapToRowsAndStayInsideThePlot) {
  const ScopeGeometry g = ScopeLayout(500, 225, -2.0, 2.0, 1);
  EXPECT_EQ(g.left, 30);
  EXPECT_EQ(g.top, 10);
  EXPECT_EQ(g.right, 490);
  EXPECT_EQ(g.bottom, 200);
  EXPECT_DOUBLE_EQ(g.scale, 190 / 4.0);
  int y = -1;
  ASSERT_TRUE(ScopeValueY(g, -2.0, 0.0, &y));
  EXPECT_EQ(y, 200 - 95);
  ASSERT_TRUE(ScopeValueY(g, -2.0, 1.0, &y));
  EXPECT_EQ(y, 200 - 142);  // trunc(142.5)
  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {1e300, inf, 3.0}) {
    ASSERT_TRUE(ScopeValueY(g, -2.0, v, &y));
    EXPECT_EQ(y, g.top) << v;
  }
  for (double v : {-1e300, -inf, -3.0}) {
    ASSERT_TRUE(ScopeValueY(g, -2.0, v, &y));
    EXPECT_EQ(y, g.bottom) << v;
  }
  EXPECT_FALSE(ScopeValueY(g, -2.0, std::nan(""), &y));
}

TEST(ChartArithmetic, BandBoundsAreExclusive) {
  const ScopeGeometry g = ScopeLayout(500, 225, -2.0, 2.0, 1);
  const int row = g.bottom + 10;
  EXPECT_EQ(ScopeHoverBand(g, g.left, row), ScopeBand::kNone);
  EXPECT_EQ(ScopeHoverBand(g, g.left + 1, row), ScopeBand::kX);
  EXPECT_EQ(ScopeHoverBand(g, g.left + 59, row), ScopeBand::kX);
  EXPECT_EQ(ScopeHoverBand(g, g.left + 60, row), ScopeBand::kNone);
  EXPECT_EQ(ScopeHoverBand(g, g.left + 81, row), ScopeBand::kY);
  EXPECT_EQ(ScopeHoverBand(g, g.left + 219, row), ScopeBand::kZ);
  EXPECT_EQ(ScopeHoverBand(g, g.left + 309, row), ScopeBand::kSpeed);
  EXPECT_EQ(ScopeHoverBand(g, g.left + 369, row), ScopeBand::kTemperature);
  EXPECT_EQ(ScopeHoverBand(g, g.left + 370, row), ScopeBand::kNone);
  EXPECT_EQ(ScopeHoverBand(g, g.left + 10, g.bottom + 2), ScopeBand::kNone);
  EXPECT_EQ(ScopeHoverBand(g, g.left + 10, g.bottom + 18), ScopeBand::kNone);
  EXPECT_EQ(ScopeHoverBand(g, g.left + 10, g.bottom + 17), ScopeBand::kX);
  EXPECT_EQ(ScopeClickBand(g, g.left + 41, row), ScopeBand::kX);
  EXPECT_EQ(ScopeClickBand(g, g.left + 42, row), ScopeBand::kNone);
  EXPECT_EQ(ScopeClickBand(g, g.left + 61, row), ScopeBand::kY);
  EXPECT_EQ(ScopeClickBand(g, g.left + 102, row), ScopeBand::kNone);
  EXPECT_EQ(ScopeClickBand(g, g.left + 161, row), ScopeBand::kZ);
  EXPECT_EQ(ScopeClickBand(g, g.left + 300, row), ScopeBand::kSpeed);
  EXPECT_EQ(ScopeClickBand(g, g.left + 321, row), ScopeBand::kTemperature);
}

TEST(ChartArithmetic, TheRingKeepsTheLast400PointsWithACount) {
  ScopeRing ring;
  EXPECT_EQ(ring.Newest(), -1);
  EXPECT_EQ(ring.Count(), 0);
  EXPECT_EQ(ring.Back(0), nullptr) << "an empty chart has no point to read";
  for (int i = 0; i < 401; ++i) ring.Push(ScopePoint{i * 100LL, double(i), 0, 0});
  EXPECT_EQ(ring.Count(), 400);
  EXPECT_EQ(ring.Newest(), 0) << "the 401st point overwrites the oldest";
  EXPECT_EQ(ring.Back(0)->x, 400);
  EXPECT_EQ(ring.Back(399)->x, 1);
  EXPECT_EQ(ring.Back(400), nullptr);
  ring.Reset();
  EXPECT_EQ(ring.Count(), 0);
  EXPECT_EQ(ring.Slot(0).x, 0);

  // Hovering 8 pixels left of the right edge, newest at index 1: index 399.
  for (int i = 0; i < 400; ++i) ring.Push(ScopePoint{0, double(i), 0, 0});
  ring.Push(ScopePoint{0, 400, 0, 0});
  ring.Push(ScopePoint{0, 401, 0, 0});
  ASSERT_EQ(ring.Newest(), 1);
  const ScopeGeometry g = ScopeLayout(500, 225, -2.0, 2.0, 1);
  const int back = ScopeHoverBack(g, g.right - 8);
  EXPECT_EQ(back, 2);
  EXPECT_EQ(FloorMod(ring.Newest() - back, 400), 399);
  EXPECT_EQ(ring.Back(back), &ring.Slot(399));

  // Fewer points than the hover reaches: no tip.
  ScopeRing few;
  few.Push(ScopePoint{});
  EXPECT_NE(few.Back(0), nullptr);
  EXPECT_EQ(few.Back(2), nullptr);
}

TEST(ChartArithmetic, TheReadOutNamesTheTimeAndTheThreeAxes) {
  const std::string text = ScopeReadout(ScopePoint{0, 0.5, -0.25, 1.0});
  ASSERT_EQ(text.size(), std::string("00:00:00 x= 0.500, y = -0.250, z = 1.000").size());
  EXPECT_EQ(text.substr(8), " x= 0.500, y = -0.250, z = 1.000");
  EXPECT_EQ(text[2], ':');
}

}  // namespace
