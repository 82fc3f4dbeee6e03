// Reading the vehicle records of a KRV recording without playing it: every
// data packet whose payload names a vehicle record, in file order, with its
// time. Used by `krvtool track` and `krvtool events` and by the window's
// G-event scan.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vehicle/g_events.h"
#include "vehicle/vehicle_state.h"

namespace vehicle {

struct ScannedRecording {
  bool opened = false;
  int64_t startTime = 0;  // seconds since 1970 from the metadata; 0 when none
  int64_t durationMs = 0;
};

// Calls onRecord(dtsMs, payload, size) for each data packet of the file.
// Stops early when *cancel becomes true. `opened` is false when the file
// cannot be read as a KRV recording.
ScannedRecording ScanDataRecords(const std::string& path,
                                 const std::function<void(int64_t dtsMs, const unsigned char*, int)>& onRecord,
                                 const std::atomic<bool>* cancel = nullptr);

// The G events of a recording: its "GSensor" records walked as the charts
// walk them, at thresholdG (in G). Times are the records' DTS in ms.
std::vector<GEvent> ScanGEvents(const std::string& path, double thresholdG, bool* opened,
                                const std::atomic<bool>* cancel = nullptr);

}  // namespace vehicle
