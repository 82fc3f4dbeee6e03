// The KRV and AVI reader threads: the program's main loops. They turn
// recordings into the packet stream of the pipeline, driven by a PlayState.
//
// Library krvplay (krvreader/CMakeLists.txt): the threads need the media
// pipeline and the vehicle records, which the container library krvreader
// does not.
#pragma once

#include <memory>

#include "playback/play_state.h"
#include "media/ac_sync.h"

namespace playback {

class ReaderThreads {
 public:
  explicit ReaderThreads(PlayState* state);
  ~ReaderThreads();  // Close()
  ReaderThreads(const ReaderThreads&) = delete;
  ReaderThreads& operator=(const ReaderThreads&) = delete;

  // Create the thread when it is missing (or has ended; an ended thread is
  // joined first). False when it could not start (e.g. path too short: the
  // thread ends at once, as a reader does).
  bool EnsureKrvThread();
  bool EnsureAviThread();
  bool KrvRunning() const;
  bool AviRunning() const;

  // Sets exitRequested, wakes parked threads and joins both, waiting at most
  // 500 ms for each. True when both have ended.
  bool Close();

  // The bounded wait of Close for each thread.
  static constexpr int kCloseWaitMs = 500;

 private:
  bool Ensure(media::ACThread& thread, void (*body)(PlayState&, media::ACEvent&), const char* name);

  PlayState* state_;
  // Set by Close to end a parked wait at once; reset when a thread starts.
  media::ACEvent wake_{media::ACEvent::kManualReset};
  media::ACThread krv_;
  media::ACThread avi_;
};

}  // namespace playback
