#include "vehicle/scope_math.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace vehicle {

void ScopeRing::Push(const ScopePoint& p) {
  newest_ = FloorMod(newest_ + 1, kPoints);
  points_[newest_] = p;
  if (count_ < kPoints) ++count_;
}

void ScopeRing::Reset() {
  for (ScopePoint& p : points_) p = ScopePoint{};
  newest_ = -1;
  count_ = 0;
}

const ScopePoint* ScopeRing::Back(int back) const {
  if (back < 0 || back >= count_) return nullptr;
  return &points_[FloorMod(newest_ - back, kPoints)];
}

int FloorMod(int a, int n) {
  const int r = a % n;
  return r < 0 ? r + n : r;
}

bool ValidScopeRange(double minimum, double maximum) {
  return std::isfinite(minimum) && std::isfinite(maximum) && minimum < maximum;
}

namespace {
int Digits(double v) {
  const double a = std::fabs(v);
  if (!(a > 0) || !std::isfinite(a)) return 0;
  return static_cast<int>(std::fabs(std::trunc(std::log10(a))));
}
}  // namespace

int ScopeLabelDigits(double minimum, double maximum) {
  const int a = Digits(maximum);
  const int b = Digits(minimum);
  return a > b ? a : b;
}

int ScopePlotLeft(double minimum, double maximum, int decimals) {
  return (ScopeLabelDigits(minimum, maximum) + 4 + decimals) * 6;
}

ScopeGeometry ScopeLayout(int width, int height, double minimum, double maximum, int decimals) {
  ScopeGeometry g;
  g.left = ScopePlotLeft(minimum, maximum, decimals);
  g.top = 10;
  g.right = width - 10;
  g.bottom = height - 25;
  const double range = maximum - minimum;
  g.scale = range > 0 ? g.Height() / range : 0;
  return g;
}

bool ScopeValueY(const ScopeGeometry& g, double minimum, double value, int* y) {
  const double d = (value - minimum) * g.scale;
  if (std::isnan(d)) return false;
  const double yd = g.bottom - std::trunc(d);
  if (yd <= g.top) *y = g.top;
  else if (yd >= g.bottom) *y = g.bottom;
  else *y = static_cast<int>(yd);
  return true;
}

std::string ScopeRangeLabel(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*fG", decimals, value);
  return text;
}

std::string ScopeAxisLabel(char axis, double value) {
  char text[64];
  std::snprintf(text, sizeof text, value >= 0 ? "%c:  %2.3f" : "%c: %2.3f", axis, value);
  return text;
}

double ScopeSpeedShown(double speed, int mph) { return speed * (1 - mph * 0.37862882018089294); }

double ScopeTemperatureShown(double temperature, int fahrenheit) {
  return temperature * (1 + fahrenheit * 0.800000011920929) + fahrenheit * 32.0;
}

std::string ScopeSpeedText(double speed, int mph) {
  char text[64];
  std::snprintf(text, sizeof text, "%3.1f ", ScopeSpeedShown(speed, mph));
  return text;
}

const char* ScopeSpeedUnit(int mph) { return mph ? "mph" : "km/h"; }

std::string ScopeTemperatureText(double temperature, int fahrenheit) {
  char text[64];
  std::snprintf(text, sizeof text, "%3.1f ", ScopeTemperatureShown(temperature, fahrenheit));
  return text;
}

const char* ScopeTemperatureUnit(int fahrenheit) { return fahrenheit ? "F" : "C"; }

namespace {
bool InRow(const ScopeGeometry& g, int y) { return y > g.bottom + 2 && y < g.bottom + 18; }
bool Inside(int x, int lo, int hi) { return x > lo && x < hi; }
}  // namespace

ScopeBand ScopeHoverBand(const ScopeGeometry& g, int x, int y) {
  if (!InRow(g, y)) return ScopeBand::kNone;
  const int l = g.left;
  if (Inside(x, l, l + 60)) return ScopeBand::kX;
  if (Inside(x, l + 80, l + 140)) return ScopeBand::kY;
  if (Inside(x, l + 160, l + 220)) return ScopeBand::kZ;
  if (Inside(x, l + 240, l + 310)) return ScopeBand::kSpeed;
  if (Inside(x, l + 320, l + 370)) return ScopeBand::kTemperature;
  return ScopeBand::kNone;
}

ScopeBand ScopeClickBand(const ScopeGeometry& g, int x, int y) {
  if (!InRow(g, y)) return ScopeBand::kNone;
  const int l = g.left;
  if (Inside(x, l, l + 42)) return ScopeBand::kX;
  if (Inside(x, l + 60, l + 102)) return ScopeBand::kY;
  if (Inside(x, l + 120, l + 162)) return ScopeBand::kZ;
  if (Inside(x, l + 240, l + 310)) return ScopeBand::kSpeed;
  if (Inside(x, l + 320, l + 370)) return ScopeBand::kTemperature;
  return ScopeBand::kNone;
}

bool ScopeInPlot(const ScopeGeometry& g, int x, int y) {
  return x >= g.left && x <= g.right && y >= g.top && y <= g.bottom;
}

int ScopeHoverBack(const ScopeGeometry& g, int x) { return (g.right - x) / kScopeShift; }

std::string ScopeReadout(const ScopePoint& p) {
  const time_t seconds = static_cast<time_t>(p.timeMs / 1000);
  struct tm local {};
  char clock[32] = "--:--:--";
  if (localtime_r(&seconds, &local)) std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
  char text[160];
  std::snprintf(text, sizeof text, "%s x= %2.3f, y = %2.3f, z = %2.3f", clock, p.x, p.y, p.z);
  return text;
}

}  // namespace vehicle
