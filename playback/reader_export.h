// The hand-off point between the reader threads and the export: while
// exportPending is set, a reader hands every packet it reads to the export
// branch instead of playing it. The export opens its outputs, writes the
// packets and clears exportPending when it has reached exportEnd; the reader
// then plays on from where it is.
#pragma once

#include <cstdint>

#include "export/export_packet.h"
#include "playback/play_state.h"

namespace playback {

using ExportPacket = avexport::SourcePacket;

class ReaderExport {
 public:
  virtual ~ReaderExport() = default;
  // On the reader thread, for each packet read while exportPending is set.
  // Must not block for long: the reader polls its requests between packets.
  virtual void ExportPacket(PlayState& state, const ExportPacket& packet) = 0;
  // On the reader thread: the recording ran out while exportPending was set.
  virtual void ExportSourceEnded(PlayState& state) = 0;
  // On the reader thread: it carried out a seek whose request came with
  // exportSeq == requestSeq (read after it took seekPending). Packets read
  // before the seek of an export are not that export's.
  virtual void ExportSeekDone(PlayState& state, int requestSeq) = 0;
};

}  // namespace playback
