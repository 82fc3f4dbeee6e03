// What the map and the charts keep of the vehicle records they walk.
// Each state belongs to its consumer's thread.
#pragma once

#include <cstdint>

#include "vehicle/amf_record.h"

namespace vehicle {

// Record names and control records.
constexpr char kGpsName[] = "GPS";
constexpr char kGSensorName[] = "GSensor";
constexpr char kOtherSensorsName[] = "otherSensors";
// Control payloads, with their terminating zero byte: "Seek" (5 bytes) to
// the map, "Clear" (6 bytes) to the charts.
constexpr char kSeekRecord[] = "Seek";
constexpr char kClearRecord[] = "Clear";
constexpr int kSeekRecordBytes = sizeof kSeekRecord;    // 5
constexpr int kClearRecordBytes = sizeof kClearRecord;  // 6

// True when the payload is exactly that control record.
bool IsSeekRecord(const unsigned char* data, int size);
bool IsClearRecord(const unsigned char* data, int size);

// The map's state of the last GPS record.
struct GpsState : AmfVisitor {
  static constexpr int kCarInfoBytes = 256;
  // "粤A.168B" in UTF-8: the identifier before any record names one.
  static constexpr char kDefaultCarInfo[] = "\xE7\xB2\xA4" "A.168B";

  double mode = 0;
  double lat = 0;
  double lon = 0;
  double alt = 0;
  double speed = 0;
  double course = 0;
  int32_t satUsed = 0;
  int32_t satVisible = 0;
  int32_t time = 0;
  // The vehicle identifier as UTF-8 text (the recorder's 8-bit text as it
  // came), zero-terminated.
  char carInfo[kCarInfoBytes] = {};
  // Filled by the map: the corrected position and the last fix drawn.
  double correctedLon = 0;
  double correctedLat = 0;
  double lastDrawnLat = 0;
  double lastDrawnLon = 0;

  GpsState();
  // A fix the map draws: 1.0 < mode <= 5.0 and more than 3 satellites used.
  bool UsableFix() const { return mode > 1.0 && mode <= 5.0 && satUsed > 3; }
  void OnKeyedValue(const char* key, const AmfValue& value) override;
};

// The charts' state: one for both sensor records.
struct SensorState : AmfVisitor {
  double x = 0, y = 0, z = 0;
  double temperature = 0;
  double speed = 0;
  void OnKeyedValue(const char* key, const AmfValue& value) override;
};

// A double truncated toward zero into 32 bits; NaN gives 0 and values out of
// range the nearest limit.
int32_t TruncateToInt32(double v);

}  // namespace vehicle
