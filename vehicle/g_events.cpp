#include "vehicle/g_events.h"

#include <cmath>

namespace vehicle {

double GMagnitude(double x, double y, double z) { return std::sqrt(x * x + y * y + (z - 1) * (z - 1)); }

void GEventDetector::Add(int64_t timeMs, double x, double y, double z) {
  const double g = GMagnitude(x, y, z);
  if (!(g >= threshold_)) return;  // NaN included
  if (open_ && timeMs - lastOverMs_ < kGEventMergeMs && timeMs >= lastOverMs_) {
    if (g > current_.peak) current_ = GEvent{timeMs, g, x, y, z};
  } else {
    Finish();
    open_ = true;
    current_ = GEvent{timeMs, g, x, y, z};
  }
  lastOverMs_ = timeMs;
}

void GEventDetector::Finish() {
  if (open_) events_.push_back(current_);
  open_ = false;
}

}  // namespace vehicle
