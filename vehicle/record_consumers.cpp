#include "vehicle/record_consumers.h"

#include <cstring>

#include "media/ac_media_list.h"
#include "vehicle/map_offset.h"

namespace vehicle {

RecordConsumer::RecordConsumer(media::ACAMFDataList* queue, int logCapacity)
    : queue_(queue), capacity_(logCapacity > 0 ? static_cast<size_t>(logCapacity) : 0) {
  seen_.reserve(capacity_);
}

RecordConsumer::~RecordConsumer() { Stop(); }

bool RecordConsumer::Start() {
  if (thread_.Attached() || !queue_) return false;
  stop_.store(false);
  stopEvent_.Reset();
  return thread_.Start([this] { Loop(); }, ThreadName());
}

void RecordConsumer::Stop() {
  stop_.store(true);
  stopEvent_.Set();
  thread_.Join();
}

void RecordConsumer::Loop() {
  // One slot's worth: a record is never longer than a queue slot.
  unsigned char record[kRecordCapacity + 1];
  while (!stop_.load()) {
    if (!BeforeTake()) continue;
    int64_t timeMs = 0;
    int size = kRecordCapacity;
    queue_->Lock(-1);
    int got = queue_->PopPacket(&timeMs, record, &size);
    queue_->Unlock();
    if (!got) {
      // Until the next record, a stop or the hook's event: each wakes it,
      // and nothing else gives it work.
      media::ACEvent* events[3] = {queue_->DataEvent(), &stopEvent_, ExtraWake()};
      if (media::WaitForEvents(events, events[2] ? 3 : 2, media::kInfinite) == 2) OnExtraWake();
      continue;
    }
    Handle(timeMs, record, size);
  }
}

ConsumerCounts RecordConsumer::Counts() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return counts_;
}

std::vector<SeenRecord> RecordConsumer::Seen() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return seen_;
}

bool RecordConsumer::Last(SeenRecord* out) const {
  std::lock_guard<std::mutex> lock(logMutex_);
  if (haveLast_ && out) *out = last_;
  return haveLast_;
}

bool RecordConsumer::SeenComplete() const {
  std::lock_guard<std::mutex> lock(logMutex_);
  return !dropped_;
}

void RecordConsumer::Note(const SeenRecord& r, bool drawn, bool reset) {
  std::lock_guard<std::mutex> lock(logMutex_);
  ++counts_.records;
  switch (r.kind) {
    case SeenRecord::kGps: ++counts_.gps; break;
    case SeenRecord::kGSensor: ++counts_.gSensor; break;
    case SeenRecord::kOtherSensors: ++counts_.otherSensors; break;
    case SeenRecord::kSeek: ++counts_.seek; break;
    case SeenRecord::kClear: ++counts_.clear; break;
    case SeenRecord::kBroken: ++counts_.broken; break;
    case SeenRecord::kOther: ++counts_.other; break;
  }
  if (drawn) ++counts_.drawn;
  if (reset) ++counts_.resets;
  last_ = r;
  haveLast_ = true;
  if (seen_.size() < capacity_) seen_.push_back(r);
  else dropped_ = true;
}

bool MapRecordConsumer::BeforeTake() {
  if (!pageReady_.IsSet()) {
    // Until the page is ready; a stop ends the wait.
    media::ACEvent* events[2] = {&pageReady_, StopEvent()};
    media::WaitForEvents(events, 2, media::kInfinite);
    return false;
  }
  if (clearTracks_.Wait(0)) ClearAll();
  return true;
}

void MapRecordConsumer::OnExtraWake() { ClearAll(); }

void MapRecordConsumer::ClearAll() {
  if (MapSink* sink = sink_.load()) sink->ClearAllTrackLine(gps_.carInfo);
}

void MapRecordConsumer::Handle(int64_t timeMs, const unsigned char* data, int size) {
  SeenRecord r;
  r.timeMs = timeMs;
  if (IsSeekRecord(data, size)) {
    r.kind = SeenRecord::kSeek;
    ClearAll();
    Note(r, false, true);
    return;
  }
  char name[kAmfStringLimit];
  if (!WalkRecord(data, size, &gps_, name)) {
    // Nothing drawn, the fields keep their text.
    r.kind = SeenRecord::kBroken;
    Note(r, false, false);
    return;
  }
  r.kind = std::strcmp(name, kGpsName) == 0 ? SeenRecord::kGps : SeenRecord::kOther;
  MapSink* sink = sink_.load();
  // A fix equal to the last one drawn (exactly; 0/0 at start) is not drawn
  // again.
  const bool moved = gps_.lat - gps_.lastDrawnLat != 0 || gps_.lon - gps_.lastDrawnLon != 0;
  r.usable = gps_.UsableFix() && moved;
  if (r.usable) {
    double lon = gps_.lon;
    double lat = gps_.lat;
    if (offsetApplies_.load() && mapOffsetEnabled_.load()) ApplyMapOffset(&lon, &lat);
    gps_.correctedLon = lon;
    gps_.correctedLat = lat;
    if (sink) {
      sink->DrawTrackLine(gps_.carInfo, lat, lon);
      sink->MoveCar(gps_.carInfo, lat, lon, TruncateToInt32(gps_.course));
      sink->Flyto(lat, lon);
    }
    gps_.lastDrawnLat = gps_.lat;
    gps_.lastDrawnLon = gps_.lon;
  }
  if (sink) sink->ShowFields(gps_.satUsed, gps_.satVisible, gps_.speed, gps_.course);
  r.values[0] = gps_.lat;
  r.values[1] = gps_.lon;
  r.values[2] = gps_.speed;
  r.values[3] = gps_.course;
  r.values[4] = gps_.satUsed;
  Note(r, r.usable, false);
}

void ChartRecordConsumer::Handle(int64_t timeMs, const unsigned char* data, int size) {
  SeenRecord r;
  r.timeMs = timeMs;
  if (IsClearRecord(data, size)) {
    r.kind = SeenRecord::kClear;
    if (ChartSink* sink = sink_.load()) sink->Reset();
    Note(r, false, true);
    return;
  }
  char name[kAmfStringLimit];
  if (!WalkRecord(data, size, &sensors_, name)) {
    r.kind = SeenRecord::kBroken;
    Note(r, false, false);
    return;
  }
  // The full signed 64-bit times are compared.
  const bool wentBack = timeMs < lastSampleMs_;
  lastSampleMs_ = timeMs;
  r.kind = std::strcmp(name, kGSensorName) == 0        ? SeenRecord::kGSensor
           : std::strcmp(name, kOtherSensorsName) == 0 ? SeenRecord::kOtherSensors
                                                       : SeenRecord::kOther;
  r.values[0] = sensors_.x;
  r.values[1] = sensors_.y;
  r.values[2] = sensors_.z;
  r.values[3] = sensors_.temperature;
  r.values[4] = sensors_.speed;
  // Every walked record appends one sample of the five current values.
  if (ChartSink* sink = sink_.load()) {
    if (wentBack) sink->Reset();
    sink->Sample(timeMs, sensors_.x, sensors_.y, sensors_.z, sensors_.temperature, sensors_.speed);
  }
  Note(r, true, wentBack);
}

}  // namespace vehicle
