// The hand-off point between the reader threads and the export: while
// exportPending is set, a reader hands every packet it reads to the export
// branch instead of playing it. The export opens its outputs, writes the
// packets and clears exportPending when it has reached exportEnd; the reader
// then plays on from where it is.
#pragma once

#include <cstdint>

#include "krvreader/byte_io.h"
#include "playback/play_state.h"

namespace playback {

struct ExportPacket {
  int fileKind = PlayState::kKrv;
  int channel = -1;        // 0-3; -1 for a stream without a channel
  int streamKind = 0;      // krv::KIND_VIDEO, KIND_AUDIO or KIND_DATA
  int codecId = 0;         // the container's codec identifier
  const unsigned char* data = nullptr;
  int size = 0;
  bool key = false;
  int64_t timeMs = 0;      // KRV: dts / 1000; AVI: dts x time base, in ms
  int64_t dts = 0;         // as the source gives it, in timeBase units
  krv::AVRational timeBase{1, 1000000};
  int width = 0;           // video: the source stream's picture
  int height = 0;
  int framesPerSecond = 0; // KRV video: the stream's rate, 0 when unknown
};

class ReaderExport {
 public:
  virtual ~ReaderExport() = default;
  // On the reader thread, for each packet read while exportPending is set.
  // Must not block for long: the reader polls its requests between packets.
  virtual void ExportPacket(PlayState& state, const ExportPacket& packet) = 0;
  // On the reader thread: the recording ran out while exportPending was set.
  virtual void ExportSourceEnded(PlayState& state) = 0;
};

}  // namespace playback
