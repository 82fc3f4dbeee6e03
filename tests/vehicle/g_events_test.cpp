// G events from G-sensor samples: the threshold, merging at the peak.
#include <gtest/gtest.h>

#include <cmath>

#include "vehicle/g_events.h"

namespace {

TEST(GEvents, SamplesOverTheThresholdWithin2sMergeAtTheirPeak) {
  vehicle::GEventDetector d(0.5);
  d.Add(0, 0, 0, 1);          // at rest
  d.Add(1000, 0.49, 0, 1);    // under
  d.Add(2000, 0.5, 0, 1);     // at the threshold: an event
  d.Add(2500, 0, 1.2, 1);     // its peak
  d.Add(4400, 0.6, 0, 1);     // within 2 s of the last one over
  d.Add(6500, 0, 0, 0.2);     // 2.1 s later: a new event (0.8 G)
  d.Add(7000, std::nan(""), 0, 1);
  d.Finish();
  ASSERT_EQ(d.Events().size(), 2u);
  EXPECT_EQ(d.Events()[0].timeMs, 2500);
  EXPECT_DOUBLE_EQ(d.Events()[0].peak, 1.2);
  EXPECT_DOUBLE_EQ(d.Events()[0].y, 1.2);
  EXPECT_EQ(d.Events()[1].timeMs, 6500);
  EXPECT_NEAR(d.Events()[1].peak, 0.8, 1e-12);
}

}  // namespace
