// The consumers of the two record queues, walking records as the map view
// and the sensor charts do, each on its own thread. They keep GpsState and
// SensorState, tell a sink what to draw (the map page, the chart) and note
// what they saw, so that tests and `krvtool play` can check the road from the
// recording to the views.
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

// What the map draws, called on the map consumer's thread in this order for
// each fix drawn: DrawTrackLine, MoveCar, Flyto; then ShowFields for every
// GPS record walked. Latitudes and longitudes are the corrected ones.
class MapSink {
 public:
  virtual ~MapSink() = default;
  virtual void ClearAllTrackLine(const char* carInfo) = 0;
  virtual void DrawTrackLine(const char* carInfo, double lat, double lon) = 0;
  virtual void MoveCar(const char* carInfo, double lat, double lon, int direction) = 0;
  virtual void Flyto(double lat, double lon) = 0;
  virtual void ShowFields(int satUsed, int satVisible, double speed, double course) = 0;
};

// What the chart draws, on the chart consumer's thread.
class ChartSink {
 public:
  virtual ~ChartSink() = default;
  // One sample of the five current values; timeMs is the record's time.
  virtual void Sample(int64_t timeMs, double x, double y, double z, double temperature, double speed) = 0;
  // Empty the chart ("Clear", or a sample earlier than the one before).
  virtual void Reset() = 0;
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
  // Sets the stop flag, wakes the thread and joins it; it ends at its next
  // turn.
  void Stop();
  bool Running() const { return thread_.Running(); }

  ConsumerCounts Counts() const;
  std::vector<SeenRecord> Seen() const;
  // Whether every record taken was kept in Seen().
  bool SeenComplete() const;
  // The last record taken, kept whatever the log's capacity; false before
  // the first.
  bool Last(SeenRecord* out) const;

 protected:
  // On the consumer thread: one record taken from the queue.
  virtual void Handle(int64_t timeMs, const unsigned char* data, int size) = 0;
  // Notes a record under the log lock and counts it by kind; `drawn` and
  // `reset` count a fix drawn / sample appended and a track or chart reset.
  void Note(const SeenRecord& r, bool drawn, bool reset);
  // On the consumer thread before each take: false when the turn is spent
  // (the hook waited for something); it looks at Stopping() again then.
  virtual bool BeforeTake() { return true; }
  // An event that also ends the wait for a record (null: none), and what to
  // do when it did (the wait cleared it).
  virtual media::ACEvent* ExtraWake() { return nullptr; }
  virtual void OnExtraWake() {}
  // The consumer thread's name.
  virtual const char* ThreadName() const { return "cv-records"; }
  bool Stopping() const { return stop_.load(); }
  // Set by Stop(), for the hooks' waits.
  media::ACEvent* StopEvent() { return &stopEvent_; }

 private:
  void Loop();

  media::ACAMFDataList* queue_;
  std::atomic<bool> stop_{false};
  media::ACEvent stopEvent_{media::ACEvent::kManualReset};
  media::ACThread thread_;
  mutable std::mutex logMutex_;
  std::vector<SeenRecord> seen_;  // guarded by logMutex_
  SeenRecord last_{};             // guarded by logMutex_
  bool haveLast_ = false;         // guarded by logMutex_
  ConsumerCounts counts_;         // guarded by logMutex_
  size_t capacity_;
  bool dropped_ = false;          // guarded by logMutex_
};

// The map's side: "Seek" clears the tracks; GPS records update GpsState;
// a usable fix that moved is corrected through the offset table when both
// offset flags are on and drawn through the sink. Nothing is taken from the
// queue while the page is not ready (a wait that Stop ends); a headless
// consumer never asks for a page.
class MapRecordConsumer : public RecordConsumer {
 public:
  explicit MapRecordConsumer(media::ACAMFDataList* queue, int logCapacity = 4096)
      : RecordConsumer(queue, logCapacity) {}
  ~MapRecordConsumer() override { Stop(); }
  // After Stop(): the state the consumer thread kept.
  const GpsState& Gps() const { return gps_; }

  // The sink (null: none); may be changed while the thread runs.
  void SetSink(MapSink* sink) { sink_.store(sink); }
  // From now on records wait until PageReady().
  void RequirePage() { pageReady_.Reset(); }
  void PageReady() { pageReady_.Set(); }
  bool PageIsReady() const { return pageReady_.IsSet(); }
  // Asks the thread to clear every track line at its next turn.
  void ClearTracks() { clearTracks_.Set(); }
  // The page's map type takes corrected positions (1 at start).
  void SetOffsetApplies(int on) { offsetApplies_.store(on); }
  int OffsetApplies() const { return offsetApplies_.load(); }
  // The user's setting (1 at start).
  void SetMapOffsetEnabled(int on) { mapOffsetEnabled_.store(on); }
  int MapOffsetEnabled() const { return mapOffsetEnabled_.load(); }

 protected:
  void Handle(int64_t timeMs, const unsigned char* data, int size) override;
  bool BeforeTake() override;
  media::ACEvent* ExtraWake() override { return &clearTracks_; }
  void OnExtraWake() override;
  const char* ThreadName() const override { return "cv-map"; }

 private:
  void ClearAll();

  GpsState gps_;  // consumer thread only
  std::atomic<MapSink*> sink_{nullptr};
  std::atomic<int> offsetApplies_{1};
  std::atomic<int> mapOffsetEnabled_{1};
  media::ACEvent pageReady_{media::ACEvent::kManualReset, true};
  media::ACEvent clearTracks_{media::ACEvent::kAutoReset};
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
  // The sink (null: none); may be changed while the thread runs.
  void SetSink(ChartSink* sink) { sink_.store(sink); }

 protected:
  void Handle(int64_t timeMs, const unsigned char* data, int size) override;
  const char* ThreadName() const override { return "cv-chart"; }

 private:
  std::atomic<ChartSink*> sink_{nullptr};
  SensorState sensors_;        // consumer thread only
  int64_t lastSampleMs_ = 0;   // consumer thread only
};

}  // namespace vehicle
