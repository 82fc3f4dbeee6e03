#include "vehicle/record_consumers.h"

#include <cstring>

#include "media/ac_media_list.h"

namespace vehicle {

namespace {
constexpr int kIdleWaitMs = 100;
}  // namespace

RecordConsumer::RecordConsumer(media::ACAMFDataList* queue, int logCapacity)
    : queue_(queue), capacity_(logCapacity > 0 ? static_cast<size_t>(logCapacity) : 0) {
  seen_.reserve(capacity_);
}

RecordConsumer::~RecordConsumer() { Stop(); }

bool RecordConsumer::Start() {
  if (thread_.Attached() || !queue_) return false;
  stop_.store(false);
  return thread_.Start([this] { Loop(); });
}

void RecordConsumer::Stop() {
  stop_.store(true);
  if (queue_) queue_->WakeWaiters();
  thread_.Join();
}

void RecordConsumer::Loop() {
  // One slot's worth: a record is never longer than a queue slot.
  unsigned char record[kRecordCapacity + 1];
  while (!stop_.load()) {
    int64_t timeMs = 0;
    int size = kRecordCapacity;
    queue_->Lock(-1);
    int got = queue_->PopPacket(&timeMs, record, &size);
    queue_->Unlock();
    if (!got) {
      // Woken by the next push or by Stop; the bound only limits a lost wake.
      queue_->WaitForData(kIdleWaitMs);
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
  if (seen_.size() < capacity_) seen_.push_back(r);
  else dropped_ = true;
}

void MapRecordConsumer::Handle(int64_t timeMs, const unsigned char* data, int size) {
  SeenRecord r;
  r.timeMs = timeMs;
  if (IsSeekRecord(data, size)) {
    r.kind = SeenRecord::kSeek;
    Note(r, false, true);
    return;
  }
  char name[kAmfStringLimit];
  if (!WalkRecord(data, size, &gps_, name)) {
    r.kind = SeenRecord::kBroken;
    Note(r, false, false);
    return;
  }
  r.kind = std::strcmp(name, kGpsName) == 0 ? SeenRecord::kGps : SeenRecord::kOther;
  r.usable = gps_.UsableFix();
  r.values[0] = gps_.lat;
  r.values[1] = gps_.lon;
  r.values[2] = gps_.speed;
  r.values[3] = gps_.course;
  r.values[4] = gps_.satUsed;
  if (r.usable) {
    // The map draws the fix (the offset correction belongs to the view).
    gps_.correctedLat = gps_.lat;
    gps_.correctedLon = gps_.lon;
    gps_.lastDrawnLat = gps_.lat;
    gps_.lastDrawnLon = gps_.lon;
  }
  Note(r, r.usable, false);
}

void ChartRecordConsumer::Handle(int64_t timeMs, const unsigned char* data, int size) {
  SeenRecord r;
  r.timeMs = timeMs;
  if (IsClearRecord(data, size)) {
    r.kind = SeenRecord::kClear;
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
  Note(r, true, wentBack);
}

}  // namespace vehicle
