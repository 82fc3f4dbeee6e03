#include "playback/reader_threads.h"

#include "playback/reader_threads_internal.h"

namespace playback {

ReaderThreads::ReaderThreads(PlayState* state) : state_(state) {}

ReaderThreads::~ReaderThreads() {
  Close();
  // A thread that outlived the bounded waits (held inside the pipeline) is
  // still joined: none is left running on a state that goes away.
  wake_.Set();
  krv_.Join();
  avi_.Join();
}

bool ReaderThreads::Ensure(media::ACThread& thread, void (*body)(PlayState&, media::ACEvent&),
                           const char* name) {
  if (!state_) return false;
  if (thread.Running()) return true;
  thread.Join();  // ended: its body has returned
  // No thread of ours waits on the wake event now unless the other one is
  // parked; a stale wake only makes that one look at exitRequested again.
  if (!(krv_.Running() || avi_.Running())) wake_.Reset();
  PlayState* s = state_;
  media::ACEvent* wake = &wake_;
  if (!thread.Start([s, wake, body] { body(*s, *wake); }, name)) return false;
  return true;
}

bool ReaderThreads::EnsureKrvThread() {
  if (state_ && !krv_.Running() && state_->krvPath.Length() < 4) {
    krv_.Join();
    return false;
  }
  return Ensure(krv_, &detail::RunKrvReader, "cv-krv-reader");
}

bool ReaderThreads::EnsureAviThread() {
  if (state_) {
    int c = state_->currentChannel.load();
    if (c < 0 || c > 3) c = 0;
    if (!avi_.Running() && state_->aviPath[c].Length() < 4) {
      avi_.Join();
      return false;
    }
  }
  return Ensure(avi_, &detail::RunAviReader, "cv-avi-reader");
}

bool ReaderThreads::KrvRunning() const { return krv_.Running(); }
bool ReaderThreads::AviRunning() const { return avi_.Running(); }

bool ReaderThreads::Close() {
  if (!state_) return true;
  state_->exitRequested.store(1);
  state_->interruptEvent.Set();
  wake_.Set();
  bool krvEnded = krv_.WaitEnded(kCloseWaitMs);
  bool aviEnded = avi_.WaitEnded(kCloseWaitMs);
  return krvEnded && aviEnded;
}

}  // namespace playback
