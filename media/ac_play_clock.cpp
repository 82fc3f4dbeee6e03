// The playback clock's thread: the seven modes and the paced, fast and
// stepping passes.
#include "media/ac_play_clock.h"

#include "media/ac_movie_filter.h"
#include "media/ac_records.h"
#include "media/ac_sound_player.h"
#include "media/ms_sleep.h"
#include "media/play_gates.h"

namespace media {

namespace {

// A jump in the timestamps costs at most this much recording time of waiting.
constexpr int64_t kMaxGapMs = 640;
// Gaps of this much or less are not slept; they add up.
constexpr int64_t kMinSleepMs = 20;
// A step moves on to the first time at least this far past the reference.
constexpr int64_t kStepMs = 30;
constexpr int kStepTries = 10;
// The default sleeper sleeps in pieces of this length so that the thread
// sees its stop flag within it.
constexpr int kSleepPieceMs = 50;
constexpr int kThreadEndWaitMs = 200;

bool isSpeedValue(int speed) {
  switch (speed) {
    case 1: case 2: case 4: case 8: case 16: case 32: case 64: case 128: case 256: return true;
    default: return false;
  }
}

}  // namespace

ACPlayClock::ACPlayClock(ACMessageSink* owner) : owner_(owner) {}

ACPlayClock::~ACPlayClock() {
  stop_.store(1);
  stopEvent_.Set();
  wake_.Set();
  // The stop wakes the thread's waits; its sleeps last at most 50 ms.
  thread_.WaitEnded(kThreadEndWaitMs);
  thread_.Join();
  for (ACEvent& e : modeEvents_) e.Set();
}

void ACPlayClock::Start(ACMovieFilter* movieFilter, ACSoundPlayer* soundPlayer) {
  if (thread_.Attached()) return;
  movieFilter_ = movieFilter;
  soundPlayer_ = soundPlayer;
  // Without a filter the thread would end at once: it is not started.
  if (movieFilter_ == nullptr) return;
  stop_.store(0);
  thread_.Start([this] { Run(); }, "cv-clock");
}

void ACPlayClock::SetMode(int mode) {
  for (int i = 0; i < 3; ++i) modeEvents_[i].Reset();
  if (mode >= 0 && mode <= 6) modeEvents_[mode].Set();
  // A thread waiting for a timestamp comes back to the mode wait.
  wake_.Set();
}

int ACPlayClock::WaitForRoom(int timeoutMs, ACEvent* orWake) { return list_.WaitForSpace(timeoutMs, orWake) ? 1 : 0; }

void ACPlayClock::SetSpeed(int speed) { speed_.store(speed); }

int ACPlayClock::PushDTS(int64_t key, int64_t value) {
  return GatedPush(gates_.load(), [&] {
    list_.Lock(-1);
    const int r = list_.PushDTS(key, value);
    list_.Unlock();
    return r;
  });
}

void ACPlayClock::ClearDTS() {
  list_.Lock(-1);
  list_.ClearDTS();
  list_.Unlock();
}

void ACPlayClock::SetSleeper(Sleeper sleeper) { sleeper_ = std::move(sleeper); }

int64_t ACPlayClock::PopEntry(int64_t* value, bool* found) {
  list_.Lock(-1);
  // The list's "1 = empty" would lose a real timestamp of 1 ms: the found
  // flag tells them apart.
  const int64_t key = list_.PopDTS(value, found);
  list_.Unlock();
  return key;
}

void ACPlayClock::Wait(int ms) {
  if (ms <= 0) return;
  if (sleeper_) {
    sleeper_(ms);
    return;
  }
  while (ms > 0 && stop_.load() == 0) {
    const int piece = ms < kSleepPieceMs ? ms : kSleepPieceMs;
    timer_->Sleep(piece);
    ms -= piece;
  }
}

void ACPlayClock::Report(int64_t dts, int64_t value) {
  movieFilter_->CurDTS(dts);
  if (owner_ == nullptr) return;
  const intptr_t lengthSeconds = static_cast<intptr_t>(static_cast<uint32_t>(value & 0xFFFFFFFF) / 1000);
  if (acIsMarker(dts)) {
    // A recording ends once. The reader, parked at the end of its file,
    // pushes the end again when Play resumes it; reported twice in a row
    // (nothing between), the window would advance past the next recording.
    if (dts == DTS_END && posted_ && lastPostedSecond_ == DTS_END) return;
    owner_->PostMessage(WM_PLAY_TIME, lengthSeconds, static_cast<intptr_t>(dts));
    lastPostedSecond_ = dts;
    posted_ = true;
    return;
  }
  const int64_t second = dts / 1000;
  if (posted_ && second == lastPostedSecond_) return;
  owner_->PostMessage(WM_PLAY_TIME, lengthSeconds, static_cast<intptr_t>(second));
  lastPostedSecond_ = second;
  posted_ = true;
}

void ACPlayClock::Run() {
  msSleep timer;
  timer.Start();
  timer_ = &timer;
  // The seven modes, then the stop (lowest priority: it only ends waits).
  ACEvent* events[8];
  for (int i = 0; i < 7; ++i) events[i] = &modeEvents_[i];
  events[7] = &stopEvent_;
  // A timestamp pushed, a mode requested, or the stop.
  ACEvent* const entryOrRequest[2] = {list_.DataEvent(), &wake_};
  reference_ = 0;
  posted_ = false;

  while (stop_.load() == 0) {
    int speed = kNormalSpeed;
    bool fast = false;
    bool step = false;
    // Without limit: the requests and the stop all wake it, so an idle or
    // paused clock sleeps until one comes.
    const int mode = WaitForEvents(events, 8, kInfinite);
    if (mode == kWaitTimeout || mode == 7) continue;
    if (mode >= 0) {
      // Sound resumed, display hold off and one-frame off, unless the mode
      // says otherwise.
      bool pauseSound = false, hold = false, oneFrame = false;
      switch (mode) {
        case kModePlay:
          speed = speed_.load();
          if (reference_ == -1) reference_ = 0;
          break;
        case kModePlayRaw:
          speed = speed_.load();
          break;
        case kModeFast:
          reference_ = 0;
          fast = true;
          break;
        case kModeStep:
          step = true;
          oneFrame = true;
          break;
        case kModePause:
          pauseSound = true;
          hold = true;
          break;
        case kModeRestart:
          reference_ = 0;
          modeEvents_[kModePlay].Set();  // play goes on
          break;
        case kModeStop:
          reference_ = -1;
          break;
        default:
          break;
      }
      if (soundPlayer_ != nullptr) soundPlayer_->Pause(pauseSound ? 1 : 0);
      movieFilter_->PushFrame(hold ? 1 : 0);
      movieFilter_->OneFrame(oneFrame ? 1 : 0);
      if (mode == kModePause) continue;
    }
    // (A failed wait goes on as a paced pass at normal speed.)

    int64_t value = 0;
    bool found = false;
    int64_t dts = PopEntry(&value, &found);
    if (!found) {
      // Until a timestamp is pushed, a mode is requested or the stop (each
      // sets one of the two).
      WaitForEvents(entryOrRequest, 2, kInfinite);
      continue;
    }
    // After a stop the next time counts as 0; a marker keeps its meaning.
    if (reference_ == -1 && !acIsMarker(dts)) dts = 0;

    if (dts == DTS_SWITCH || dts == DTS_BEGIN) {
      reference_ = 0;
    } else if (step) {
      // Moves on to the first time at least 30 ms past the reference (a time
      // at or below it counts as 0 ms), taking at most ten more entries. A
      // marker ends the step where it stands: it is reported, never skipped.
      for (int i = 0; i < kStepTries && !acIsMarker(dts); ++i) {
        const int64_t past = dts > reference_ ? dts - reference_ : 0;
        if (past >= kStepMs) break;
        int64_t nextValue = 0;
        bool nextFound = false;
        const int64_t next = PopEntry(&nextValue, &nextFound);
        if (!nextFound) break;
        dts = next;
        value = nextValue;
      }
      if (dts == DTS_SWITCH || dts == DTS_BEGIN)
        reference_ = 0;
      else
        reference_ = dts;
    } else if (fast) {
      if (reference_ == 0) reference_ = dts;
      const int64_t elapsed = dts > reference_ ? dts - reference_ : 0;
      if (dts > reference_) reference_ = dts;
      Wait(static_cast<int>((elapsed / 1000) * 40));
    } else {
      if (!isSpeedValue(speed)) speed = kNormalSpeed;
      if (reference_ == 0) reference_ = dts;
      int64_t elapsed = dts > reference_ ? dts - reference_ : 0;
      // Without sound (no player, or a played time of 0 = unknown) a jump
      // in the timestamps is capped as well: no gap costs more than 640 ms
      // of recording time.
      int64_t played = 0;
      if (soundPlayer_ != nullptr) {
        soundPlayer_->SetSpeed(speed);
        played = soundPlayer_->PlayedTime();
      }
      {
        if (played == 0) {
          if (elapsed > kMaxGapMs) elapsed = kMaxGapMs;
        } else if (played < dts) {
          elapsed = dts - played;
          if (elapsed > kMaxGapMs) elapsed = kMaxGapMs;
        } else {
          elapsed = 0;
        }
      }
      if (elapsed > kMinSleepMs) {
        const int64_t ms = (elapsed * 16 + speed - 1) / speed;
        Wait(static_cast<int>(ms));
        if (dts > reference_) reference_ = dts;
      }
    }
    Report(dts, value);
  }
  timer_ = nullptr;
  timer.Stop();
}

}  // namespace media
