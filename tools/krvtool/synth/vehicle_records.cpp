#include "synth/vehicle_records.h"

#include <cmath>
#include <cstring>

namespace krvsynth {

void AmfWriter::Be16(unsigned v) {
  bytes_.push_back(static_cast<uint8_t>(v >> 8 & 0xFF));
  bytes_.push_back(static_cast<uint8_t>(v & 0xFF));
}

void AmfWriter::String(const std::string& s) {
  bytes_.push_back(2);
  Key(s);
}

void AmfWriter::Key(const std::string& k) {
  Be16(static_cast<unsigned>(k.size()));
  bytes_.insert(bytes_.end(), k.begin(), k.end());
}

void AmfWriter::BeginEcmaArray(uint32_t count) {
  bytes_.push_back(8);
  for (int i = 3; i >= 0; --i) bytes_.push_back(static_cast<uint8_t>(count >> (8 * i) & 0xFF));
}

void AmfWriter::Number(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  bytes_.push_back(0);
  for (int i = 7; i >= 0; --i) bytes_.push_back(static_cast<uint8_t>(bits >> (8 * i) & 0xFF));
}

void AmfWriter::EndEcmaArray() {
  Be16(0);
  bytes_.push_back(9);
}

namespace {

constexpr double kLatMin = 23.0, kLatMax = 23.3, kLonMin = 113.2, kLonMax = 113.6;
constexpr double kPi = 3.14159265358979323846;
constexpr double kMetresPerDegree = 111320.0;

double round3(double v) { return std::round(v * 1000.0) / 1000.0; }

}  // namespace

VehicleSimulator::VehicleSimulator(uint32_t seed) : rng_(0x9E3779B97F4A7C15ull * (seed + 1)) {
  lat_ = kLatMin + 0.05 + Uniform() * (kLatMax - kLatMin - 0.1);
  lon_ = kLonMin + 0.05 + Uniform() * (kLonMax - kLonMin - 0.1);
  course_ = Uniform() * 360.0;
  speed_ = prevSpeed_ = 30.0 + Uniform() * 20.0;
  temperature_ = 24.0 + Uniform() * 8.0;
}

uint64_t VehicleSimulator::Next() {  // splitmix64
  uint64_t z = (rng_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double VehicleSimulator::Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

void VehicleSimulator::AdvanceTo(int64_t second) {
  while (second_ < second) {
    ++second_;
    prevSpeed_ = speed_;
    speed_ += (Uniform() - 0.5) * 6.0;
    if (speed_ < 5.0) speed_ = 5.0;
    if (speed_ > 80.0) speed_ = 80.0;
    turn_ = (Uniform() - 0.5) * 12.0;
    course_ = std::fmod(course_ + turn_ + 360.0, 360.0);
    double metres = speed_ / 3.6;
    double rad = course_ * kPi / 180.0;
    double nlat = lat_ + metres * std::cos(rad) / kMetresPerDegree;
    double nlon = lon_ + metres * std::sin(rad) / (kMetresPerDegree * std::cos(lat_ * kPi / 180.0));
    if (nlat < kLatMin + 0.01 || nlat > kLatMax - 0.01 || nlon < kLonMin + 0.01 || nlon > kLonMax - 0.01) {
      course_ = std::fmod(course_ + 180.0, 360.0);  // turn back at the edge of the area
    } else {
      lat_ = nlat;
      lon_ = nlon;
    }
    temperature_ += (Uniform() - 0.5) * 0.2;
  }
}

std::vector<uint8_t> VehicleSimulator::Gps(int64_t second, int64_t fixTime, const std::string& carInfo) {
  AdvanceTo(second);
  AmfWriter w;
  w.String("GPS");
  w.BeginEcmaArray(10);
  w.NumberEntry("mode", 3);
  w.NumberEntry("lat", std::round(lat_ * 1e6) / 1e6);
  w.NumberEntry("lon", std::round(lon_ * 1e6) / 1e6);
  w.NumberEntry("alt", round3(20.0 + 5.0 * std::sin(static_cast<double>(second) / 30.0)));
  w.NumberEntry("speed", round3(speed_));
  w.NumberEntry("course", round3(course_));
  w.NumberEntry("sat_used", 8);
  w.NumberEntry("sat_visible", 11);
  w.NumberEntry("time", static_cast<double>(fixTime));
  w.StringEntry("carInfo", carInfo);
  w.EndEcmaArray();
  return w.bytes();
}

std::vector<uint8_t> VehicleSimulator::OtherSensors(int64_t second) {
  AdvanceTo(second);
  AmfWriter w;
  w.String("otherSensors");
  w.BeginEcmaArray(2);
  w.NumberEntry("speed", round3(speed_));
  w.NumberEntry("temperature", round3(temperature_));
  w.EndEcmaArray();
  return w.bytes();
}

std::vector<uint8_t> VehicleSimulator::GSensor(int64_t tenth) {
  AdvanceTo(tenth / 10);
  double phase = static_cast<double>(tenth) / 10.0;
  // Longitudinal from the change of speed, lateral from the turn, vertical
  // around 1 G with road bumps.
  double x = (speed_ - prevSpeed_) / 3.6 / 9.81 + 0.02 * std::sin(phase * 7.0);
  double y = (speed_ / 3.6) * (turn_ * kPi / 180.0) / 9.81 + 0.02 * std::cos(phase * 5.0);
  double z = 1.0 + 0.05 * std::sin(phase * 11.0) + (Uniform() - 0.5) * 0.04;
  AmfWriter w;
  w.String("GSensor");
  w.BeginEcmaArray(3);
  w.NumberEntry("x", round3(x));
  w.NumberEntry("y", round3(y));
  w.NumberEntry("z", round3(z));
  w.EndEcmaArray();
  return w.bytes();
}

}  // namespace krvsynth

namespace krvsynth {

std::vector<uint8_t> VehicleSimulator::GSensorRecord(double x, double y, double z) {
  AmfWriter w;
  w.String("GSensor");
  w.BeginEcmaArray(3);
  w.NumberEntry("x", x);
  w.NumberEntry("y", y);
  w.NumberEntry("z", z);
  w.EndEcmaArray();
  return w.bytes();
}

}  // namespace krvsynth
