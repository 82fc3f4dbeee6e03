// The consumers of the two record queues, walking records as the map view
// and the sensor charts do, each on its own thread. They keep GpsState and
// SensorState and note what they saw, so that tests and `krvtool play` can
// check the road from the recording to the views; the views themselves will
// sit on them.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "media/ac_sync.h"
#include "vehicle/record_delivery.h"
#include "vehicle/vehicle_state.h"

namespace media {
class ACAMFDataList;
}

namespace vehicle {

// One record as a consumer took it.
struct SeenRecord {
  enum Kind : uint8_t { kGps, kGSensor, kOtherSensors, kSeek, kClear, kBroken, kOther };
  Kind kind = kOther;
  int64_t timeMs = 0;    // the queue entry's time
  bool usable = false;   // map: a fix the map draws
  // Map: lat, lon, speed, course, satUsed. Charts: x, y, z, temperature, speed.
  double values[5] = {};
};

struct ConsumerCounts {
  int64_t records = 0;
  int64_t gps = 0;
  int64_t gSensor = 0;
  int64_t otherSensors = 0;
  int64_t seek = 0;
  int64_t clear = 0;
  int64_t broken = 0;   // abandoned by the walk
  int64_t other = 0;    // another name where it does not belong
  int64_t drawn = 0;    // map: usable fixes; charts: samples appended
  int64_t resets = 0;   // map: track clears; charts: chart resets (Clear or time going back)
};

class RecordConsumer {
 public:
  // `logCapacity` entries are kept (reserved here, never grown); later
  // records are only counted.
  RecordConsumer(media::ACAMFDataList* queue, int logCapacity);
  virtual ~RecordConsumer();  // subclasses call Stop() in theirs
  RecordConsumer(const RecordConsumer&) = delete;
  RecordConsumer& operator=(const RecordConsumer&) = delete;

  // Starts the consumer thread. False when it runs already.
  bool Start();
  // Sets the stop flag and joins the thread; it ends at its next turn
  // (within about a millisecond).
  void Stop();
  bool Running() const { return thread_.Running(); }

  ConsumerCounts Counts() const;
  std::vector<SeenRecord> Seen() const;
  // Whether every record taken was kept in Seen().
  bool SeenComplete() const;

 protected:
  // On the consumer thread: one record taken from the queue.
  virtual void Handle(int64_t timeMs, const unsigned char* data, int size) = 0;
  // Notes a record under the log lock and counts it by kind; `drawn` and
  // `reset` count a fix drawn / sample appended and a track or chart reset.
  void Note(const SeenRecord& r, bool drawn, bool reset);

 private:
  void Loop();

  media::ACAMFDataList* queue_;
  std::atomic<bool> stop_{false};
  media::ACThread thread_;
  mutable std::mutex logMutex_;
  std::vector<SeenRecord> seen_;  // guarded by logMutex_
  ConsumerCounts counts_;         // guarded by logMutex_
  size_t capacity_;
  bool dropped_ = false;          // guarded by logMutex_
};

// The map's side: "Seek" clears the tracks; GPS records update GpsState and
// usable fixes are drawn.
class MapRecordConsumer : public RecordConsumer {
 public:
  explicit MapRecordConsumer(media::ACAMFDataList* queue, int logCapacity = 4096)
      : RecordConsumer(queue, logCapacity) {}
  ~MapRecordConsumer() override { Stop(); }
  // After Stop(): the state the consumer thread kept.
  const GpsState& Gps() const { return gps_; }

 protected:
  void Handle(int64_t timeMs, const unsigned char* data, int size) override;

 private:
  GpsState gps_;  // consumer thread only
};

// The charts' side: "Clear" empties the chart; sensor records update
// SensorState and append one sample of all five values; a sample older than
// the previous one resets the chart first.
class ChartRecordConsumer : public RecordConsumer {
 public:
  explicit ChartRecordConsumer(media::ACAMFDataList* queue, int logCapacity = 16384)
      : RecordConsumer(queue, logCapacity) {}
  ~ChartRecordConsumer() override { Stop(); }
  const SensorState& Sensors() const { return sensors_; }

 protected:
  void Handle(int64_t timeMs, const unsigned char* data, int size) override;

 private:
  SensorState sensors_;        // consumer thread only
  int64_t lastSampleMs_ = 0;   // consumer thread only
};

}  // namespace vehicle
