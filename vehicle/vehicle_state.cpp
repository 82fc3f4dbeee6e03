#include "vehicle/vehicle_state.h"

#include <cmath>
#include <cstring>

namespace vehicle {

bool IsSeekRecord(const unsigned char* data, int size) {
  return data && size == kSeekRecordBytes && std::memcmp(data, kSeekRecord, kSeekRecordBytes) == 0;
}

bool IsClearRecord(const unsigned char* data, int size) {
  return data && size == kClearRecordBytes && std::memcmp(data, kClearRecord, kClearRecordBytes) == 0;
}

int32_t TruncateToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT32_MAX;
  if (v <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(v);
}

GpsState::GpsState() { std::memcpy(carInfo, kDefaultCarInfo, sizeof kDefaultCarInfo); }

void GpsState::OnKeyedValue(const char* key, const AmfValue& v) {
  if (v.type == kAmfString) {
    if (std::strcmp(key, "carInfo") == 0) {
      int n = v.textLength < kCarInfoBytes - 1 ? v.textLength : kCarInfoBytes - 1;
      std::memcpy(carInfo, v.text, static_cast<size_t>(n));
      carInfo[n] = '\0';
    }
    return;
  }
  if (v.type != kAmfNumber) return;
  const double d = v.number;
  if (std::strcmp(key, "mode") == 0) mode = d;
  else if (std::strcmp(key, "lat") == 0) lat = d;
  else if (std::strcmp(key, "lon") == 0) lon = d;
  else if (std::strcmp(key, "alt") == 0) alt = d;
  else if (std::strcmp(key, "speed") == 0) speed = d;
  else if (std::strcmp(key, "course") == 0) course = d;
  else if (std::strcmp(key, "sat_used") == 0) satUsed = TruncateToInt32(d);
  else if (std::strcmp(key, "sat_visible") == 0) satVisible = TruncateToInt32(d);
  else if (std::strcmp(key, "time") == 0) time = TruncateToInt32(d);
}

void SensorState::OnKeyedValue(const char* key, const AmfValue& v) {
  if (v.type != kAmfNumber) return;
  const double d = v.number;
  if (std::strcmp(key, "x") == 0) x = d;
  else if (std::strcmp(key, "y") == 0) y = d;
  else if (std::strcmp(key, "z") == 0) z = d;
  else if (std::strcmp(key, "temperature") == 0) temperature = d;
  else if (std::strcmp(key, "speed") == 0) speed = d;
}

}  // namespace vehicle
