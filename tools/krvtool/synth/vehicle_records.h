// Vehicle data records as the recorder writes them into data packets: an
// AMF0 string naming the record ("GPS", "GSensor", "otherSensors") followed by
// one AMF0 ECMA array of named values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace krvsynth {

// A small AMF0 writer for record payloads.
class AmfWriter {
 public:
  void String(const std::string& s);  // type byte 2, 16-bit length, bytes
  void BeginEcmaArray(uint32_t count);
  void Key(const std::string& k);     // 16-bit length, bytes
  void Number(double d);              // type byte 0, big-endian double
  void NumberEntry(const std::string& k, double d) { Key(k), Number(d); }
  void StringEntry(const std::string& k, const std::string& v) { Key(k), String(v); }
  void EndEcmaArray();                // empty key, object end 9
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  void Be16(unsigned v);
  std::vector<uint8_t> bytes_;
};

// A drive inside 113.2-113.6 E, 23.0-23.3 N, advanced one second at a time,
// with a G-sensor sampled ten times a second and the other sensors.
class VehicleSimulator {
 public:
  explicit VehicleSimulator(uint32_t seed);
  // Payloads for the second `second` (GPS, otherSensors) and for the tenth of
  // a second `tenth` (GSensor).
  std::vector<uint8_t> Gps(int64_t second, int64_t fixTime, const std::string& carInfo);
  std::vector<uint8_t> OtherSensors(int64_t second);
  std::vector<uint8_t> GSensor(int64_t tenth);
  // A "GSensor" record of the given values (a G event's peak).
  static std::vector<uint8_t> GSensorRecord(double x, double y, double z);

 private:
  void AdvanceTo(int64_t second);
  uint64_t Next();
  double Uniform();  // [0, 1)

  uint64_t rng_;
  int64_t second_ = 0;
  double lat_, lon_, course_, speed_, prevSpeed_, turn_ = 0, temperature_;
};

}  // namespace krvsynth
