// The sensor chart's arithmetic, apart from any drawing: the ring of the last
// 400 points, the plot's geometry and range labels, the label row's texts and
// unit conversions, the value-to-pixel mapping and the mouse bands.
#pragma once

#include <cstdint>
#include <string>

namespace vehicle {

struct ScopePoint {
  int64_t timeMs = 0;  // milliseconds since 1970
  double x = 0, y = 0, z = 0;
};

// The last kPoints points with a count of those held.
class ScopeRing {
 public:
  static constexpr int kPoints = 400;
  // Puts a point after the newest, overwriting the oldest when full.
  void Push(const ScopePoint& p);
  // Empties the ring (every slot zeroed).
  void Reset();
  int Count() const { return count_; }
  // Index of the newest point, -1 when empty.
  int Newest() const { return newest_; }
  // The point `back` places before the newest (0 = the newest); null when
  // back is negative or the ring holds no more than `back` points.
  const ScopePoint* Back(int back) const;
  const ScopePoint& Slot(int index) const { return points_[index]; }

 private:
  ScopePoint points_[kPoints];
  int newest_ = -1;
  int count_ = 0;
};

// The mathematical modulo (never negative) for a positive divisor.
int FloorMod(int a, int n);

// A usable chart range: finite bounds with minimum < maximum.
bool ValidScopeRange(double minimum, double maximum);

// Digits before the point of the wider range label: the larger of
// |trunc(log10|maximum|)| and |trunc(log10|minimum|)|; a bound of 0 counts as
// no digits.
int ScopeLabelDigits(double minimum, double maximum);
// The plot's left edge from the client's left: (digits + 4 + decimals) x 6.
int ScopePlotLeft(double minimum, double maximum, int decimals);

struct ScopeGeometry {
  int left = 0, top = 10, right = 0, bottom = 0;
  double scale = 0;  // pixels per unit
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};
// The plot inside a client area of width x height: top 10, right width - 10,
// bottom height - 25, left from the labels; scale = height / range width.
ScopeGeometry ScopeLayout(int width, int height, double minimum, double maximum, int decimals);

// Pixels per point, and where the newest point sits (right - kHalfShift).
constexpr int kScopeShift = 4;
constexpr int kScopeHalfShift = 2;
constexpr int kScopeShiftAndHalf = 6;

// y(v) = bottom - trunc((v - minimum) x scale), held between top and bottom
// for values off the plot (infinities and huge values included). False for
// NaN, which is not drawn.
bool ScopeValueY(const ScopeGeometry& g, double minimum, double value, int* y);

// "%.*lfG": a range label.
std::string ScopeRangeLabel(double value, int decimals);
// "X: %2.3f", with two spaces after the colon when value >= 0 (or 0).
std::string ScopeAxisLabel(char axis, double value);

double ScopeSpeedShown(double speed, int mph);
double ScopeTemperatureShown(double temperature, int fahrenheit);
// "%3.1f " of the shown value, and the unit.
std::string ScopeSpeedText(double speed, int mph);
const char* ScopeSpeedUnit(int mph);
std::string ScopeTemperatureText(double temperature, int fahrenheit);
const char* ScopeTemperatureUnit(int fahrenheit);

// The label row's bands, below the plot (bottom + 2 < y < bottom + 18).
enum class ScopeBand { kNone, kX, kY, kZ, kSpeed, kTemperature };
// Hover bands: X (left, left + 60), Y (+80, +140), Z (+160, +220), speed
// (+240, +310), temperature (+320, +370), bounds exclusive.
ScopeBand ScopeHoverBand(const ScopeGeometry& g, int x, int y);
// Click bands: X (left, left + 42), Y (+60, +102), Z (+120, +162), speed and
// temperature as for hovering.
ScopeBand ScopeClickBand(const ScopeGeometry& g, int x, int y);
// Whether (x, y) lies inside the plot.
bool ScopeInPlot(const ScopeGeometry& g, int x, int y);
// Points back from the newest under the mouse's x: (right - x) / 4.
int ScopeHoverBack(const ScopeGeometry& g, int x);

// The hover read-out of a point: "%H:%M:%S x= %2.3f, y = %2.3f, z = %2.3f"
// with the time in local time.
std::string ScopeReadout(const ScopePoint& p);

}  // namespace vehicle
