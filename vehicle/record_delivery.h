// How a reader thread hands the data packets of a recording to the map and
// the charts: by record name, with the GPS hold of second play, the charts'
// wall-clock times and the "Seek" / "Clear" control records.
//
// One RecordDelivery belongs to one reader thread; the queues are shared
// with the consumers and guarded by their own lock.
#pragma once

#include <cstdint>

namespace media {
class ACAMFDataList;
}

namespace vehicle {

enum class RecordKind { kNone, kGps, kGSensor, kOtherSensors, kOther };

// What a data packet's payload names: kNone when it does not start with an
// AMF0 string of fewer than 256 bytes that fits in the payload, kOther for
// an unknown name.
RecordKind ClassifyRecord(const unsigned char* payload, int size);

// Puts one record into a queue under the queue's lock. A null queue (a map
// that has not been shown yet) takes nothing. 1 = taken or dropped (longer
// than a slot), 0 = the queue was full: the record is lost, as the recorder's
// software does not retry.
int PutRecord(media::ACAMFDataList* queue, int64_t timeMs, const unsigned char* data, int size);

class RecordDelivery {
 public:
  // The open recording's start time in seconds since 1970 (from its name).
  void SetStartTime(int64_t startSeconds) { startTime_ = startSeconds; }
  int64_t StartTime() const { return startTime_; }

  // One data packet; timeMs is its DTS in milliseconds. While gpsHeld
  // (second play) GPS records are dropped, and the first one after a
  // forwarded record queues one "Seek" to the map instead. Sensor records go
  // to the charts at start x 1000 + timeMs. Returns what the packet was.
  RecordKind Deliver(media::ACAMFDataList* mapQueue, media::ACAMFDataList* chartQueue, const unsigned char* payload,
                     int size, int64_t timeMs, bool gpsHeld);

  // A switch in mid-recording or a seek: "Seek" to the map, "Clear" to the
  // charts, both at time 0.
  static void QueueReset(media::ACAMFDataList* mapQueue, media::ACAMFDataList* chartQueue);

  bool GpsForwarded() const { return gpsForwarded_; }

 private:
  int64_t startTime_ = 0;
  bool gpsForwarded_ = false;  // a GPS record reached the map since the hold last began
};

}  // namespace vehicle
