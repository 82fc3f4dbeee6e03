// G events: G-sensor samples whose acceleration beyond gravity,
// sqrt(x^2 + y^2 + (z - 1)^2) in G, reaches a threshold. Samples over the
// threshold less than 2 s apart form one event, reported at its peak.
#pragma once

#include <cstdint>
#include <vector>

namespace vehicle {

struct GEvent {
  int64_t timeMs = 0;  // the peak sample's time
  double peak = 0;     // its magnitude in G
  double x = 0, y = 0, z = 0;
};

// The threshold's setting is in hundredths of a G.
constexpr int kDefaultGEventThreshold = 50;
constexpr int64_t kGEventMergeMs = 2000;

double GMagnitude(double x, double y, double z);

class GEventDetector {
 public:
  explicit GEventDetector(double thresholdG) : threshold_(thresholdG) {}
  // Samples in time order; NaN values never make an event.
  void Add(int64_t timeMs, double x, double y, double z);
  // Closes the event still open. Events() is complete after it.
  void Finish();
  const std::vector<GEvent>& Events() const { return events_; }

 private:
  double threshold_;
  bool open_ = false;
  GEvent current_;
  int64_t lastOverMs_ = 0;
  std::vector<GEvent> events_;
};

}  // namespace vehicle
