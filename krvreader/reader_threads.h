// The KRV and AVI reader threads: the program's main loops. They turn
// recordings into the packet stream of the pipeline, driven by a PlayState.
#pragma once

#include <memory>

#include "krvreader/play_state.h"

namespace krv {

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
};

}  // namespace krv
