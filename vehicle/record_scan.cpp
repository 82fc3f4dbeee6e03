#include "vehicle/record_scan.h"

#include <cstring>

#include "krvreader/krv.h"
#include "krvreader/reader.h"

namespace vehicle {

ScannedRecording ScanDataRecords(const std::string& path,
                                 const std::function<void(int64_t, const unsigned char*, int)>& onRecord,
                                 const std::atomic<bool>* cancel) {
  ScannedRecording out;
  krv::Reader reader;
  if (!reader.Open(path)) return out;
  out.opened = true;
  while (!(cancel && cancel->load())) {
    // Any negative result ends the scan, as `krvtool dump` ends.
    if (reader.Next() < 0) break;
    const krv::RecordingStream* st = reader.PacketStream();
    if (!st || st->kind != krv::KIND_DATA) continue;
    const krv::RecordingPacket& p = reader.Packet();
    if (p.size <= 0 || p.size > kRecordCapacity) continue;  // never delivered to a view
    onRecord(p.dts / 1000, p.data, p.size);
  }
  // The metadata comes with the first packets.
  const krv::RecordingContext* ctx = reader.Context();
  out.startTime = ctx->start_time > 0 ? ctx->start_time : 0;
  out.durationMs = ctx->duration > 0 ? ctx->duration / 1000 : 0;
  return out;
}

std::vector<GEvent> ScanGEvents(const std::string& path, double thresholdG, bool* opened,
                                const std::atomic<bool>* cancel) {
  GEventDetector detector(thresholdG);
  SensorState state;
  const ScannedRecording r = ScanDataRecords(
      path,
      [&](int64_t dtsMs, const unsigned char* data, int size) {
        char name[kAmfStringLimit];
        // As the charts walk it: what a broken record stored before its
        // error stays, but it makes no sample.
        if (!WalkRecord(data, size, &state, name)) return;
        if (std::strcmp(name, kGSensorName) == 0) detector.Add(dtsMs, state.x, state.y, state.z);
      },
      cancel);
  detector.Finish();
  if (opened) *opened = r.opened;
  return detector.Events();
}

}  // namespace vehicle
