#include "vehicle/record_delivery.h"

#include <cstring>

#include "media/ac_media_list.h"
#include "vehicle/amf_record.h"
#include "vehicle/vehicle_state.h"

namespace vehicle {

RecordKind ClassifyRecord(const unsigned char* payload, int size) {
  if (!payload || size < 3 || payload[0] != kAmfString) return RecordKind::kNone;
  const int length = payload[1] << 8 | payload[2];
  if (length >= kAmfStringLimit || length > size - 3) return RecordKind::kNone;
  char name[kAmfStringLimit] = {};
  std::memcpy(name, payload + 3, static_cast<size_t>(length));
  if (std::strcmp(name, kGpsName) == 0) return RecordKind::kGps;
  if (std::strcmp(name, kGSensorName) == 0) return RecordKind::kGSensor;
  if (std::strcmp(name, kOtherSensorsName) == 0) return RecordKind::kOtherSensors;
  return RecordKind::kOther;
}

int PutRecord(media::ACAMFDataList* queue, int64_t timeMs, const unsigned char* data, int size) {
  if (!queue) return 1;
  queue->Lock(-1);
  int r = queue->PushPacket(timeMs, data, size);
  queue->Unlock();
  return r;
}

RecordKind RecordDelivery::Deliver(media::ACAMFDataList* mapQueue, media::ACAMFDataList* chartQueue,
                                   const unsigned char* payload, int size, int64_t timeMs, bool gpsHeld) {
  const RecordKind kind = ClassifyRecord(payload, size);
  switch (kind) {
    case RecordKind::kGps:
      if (!gpsHeld) {
        PutRecord(mapQueue, timeMs, payload, size);
        gpsForwarded_ = true;
      } else if (gpsForwarded_) {
        gpsForwarded_ = false;
        PutRecord(mapQueue, 0, reinterpret_cast<const unsigned char*>(kSeekRecord), kSeekRecordBytes);
      }
      break;
    case RecordKind::kGSensor:
    case RecordKind::kOtherSensors:
      PutRecord(chartQueue, startTime_ * 1000 + timeMs, payload, size);
      break;
    default:
      break;
  }
  return kind;
}

void RecordDelivery::QueueReset(media::ACAMFDataList* mapQueue, media::ACAMFDataList* chartQueue) {
  PutRecord(mapQueue, 0, reinterpret_cast<const unsigned char*>(kSeekRecord), kSeekRecordBytes);
  PutRecord(chartQueue, 0, reinterpret_cast<const unsigned char*>(kClearRecord), kClearRecordBytes);
}

}  // namespace vehicle
