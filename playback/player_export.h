// The player's export branch: the AVI export the reader threads hand their
// packets to while exportPending is set. Internal to the player.
#pragma once

#include <atomic>

#include "export/avi_export.h"
#include "playback/reader_export.h"

namespace playback {

class PlayerExport final : public ReaderExport {
 public:
  explicit PlayerExport(PlayState* state) { session_.SetEndFlag(&state->exportPending); }

  avexport::AviExport& Session() { return session_; }
  // Driving thread: the number of the request being begun.
  int NextSeq() { return seq_.fetch_add(1) + 1; }

  void ExportPacket(PlayState& /*state*/, const playback::ExportPacket& packet) override { session_.Packet(packet); }
  void ExportSourceEnded(PlayState& /*state*/) override { session_.SourceEnded(); }
  void ExportSeekDone(PlayState& /*state*/, int requestSeq) override {
    if (requestSeq - seq_.load() >= 0) session_.Arm();
  }

 private:
  avexport::AviExport session_;
  std::atomic<int> seq_{0};
};

}  // namespace playback
