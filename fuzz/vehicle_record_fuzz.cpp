// Fuzz target of the vehicle records: a payload is classified as the reader
// does, delivered into both queues, taken again and walked into the map's
// and the charts' states. Built as a libFuzzer binary with -DCORVANE_FUZZ=ON
// (clang), and run over generated seeds by tests/vehicle.
#include <cstddef>
#include <cstdint>

#include "media/ac_media_list.h"
#include "vehicle/amf_record.h"
#include "vehicle/record_delivery.h"
#include "vehicle/vehicle_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Payloads above a queue slot never reach a consumer; walk them anyway.
  const int n = size > 4096 ? 4096 : static_cast<int>(size);
  vehicle::GpsState gps;
  vehicle::SensorState sensors;
  char name[vehicle::kAmfStringLimit];
  vehicle::WalkRecord(data, n, &gps, name);
  vehicle::WalkRecord(data, n, &sensors, nullptr);
  if (gps.carInfo[vehicle::GpsState::kCarInfoBytes - 1] != '\0') __builtin_trap();

  static media::ACAMFDataList mapQueue, chartQueue;
  mapQueue.ClearPackets();
  chartQueue.ClearPackets();
  vehicle::RecordDelivery delivery;
  delivery.SetStartTime(1700000000);
  delivery.Deliver(&mapQueue, &chartQueue, data, n, 1234, false);
  delivery.Deliver(&mapQueue, &chartQueue, data, n, 1234, true);
  unsigned char record[vehicle::kRecordCapacity];
  for (media::ACAMFDataList* q : {&mapQueue, &chartQueue}) {
    int64_t key = 0;
    int length = sizeof record;
    while (q->PopPacket(&key, record, &length)) {
      if (length < 0 || length > static_cast<int>(sizeof record)) __builtin_trap();
      vehicle::WalkRecord(record, length, &gps, nullptr);
      length = sizeof record;
    }
  }
  return 0;
}
