#include "playback/reader_link.h"

#include "media/ac_movie_filter.h"
#include "media/ac_play_clock.h"
#include "media/ac_records.h"
#include "media/ac_sound_player.h"

namespace playback::detail {

bool ReaderLink::EnterPass() {
  s_.readerInPass[passIndex_].store(1);
  if (gate_.IsSet()) return true;
  LeavePass();
  return false;
}

void ReaderLink::LeavePass() {
  if (s_.readerInPass[passIndex_].exchange(0) != 0) s_.readerParked.Set();
}

bool ReaderLink::WaitGate() {
  LeavePass();
  for (;;) {
    if (ExitRequested()) return false;
    media::ACEvent* events[2] = {&gate_, &wake_};
    int r = media::WaitForEvents(events, 2, kParkPollMs);
    if (r == 0 && EnterPass()) return !ExitRequested();
    // Woken without an exit request (a wake left over from an earlier
    // close): wait on the gate alone, so the wait stays a wait.
    if (r == 1 && !ExitRequested() && gate_.Wait(kParkPollMs) && EnterPass()) return !ExitRequested();
  }
}

bool ReaderLink::HandleRestart() {
  if (s_.restartRequested.exchange(0) == 0) return false;
  if (s_.soundPlayer) s_.soundPlayer->ClearSound();
  if (s_.movieFilter) s_.movieFilter->EmptyData();
  if (s_.clock) s_.clock->ClearDTS();
  ForgetClockTime();
  if (s_.stopRequested.exchange(0) != 0) {
    gate_.Reset();
    return true;
  }
  return false;
}

void ReaderLink::ResetForSeek() {
  if (s_.soundPlayer) s_.soundPlayer->ClearSound();
  if (s_.movieFilter) s_.movieFilter->EmptyData();
  if (s_.clock) s_.clock->ClearDTS();
  ForgetClockTime();
  vehicle::RecordDelivery::QueueReset(s_.mapQueue.load(), s_.chartQueue.load());
  s_.secondPlayEvent.Reset();
  if (s_.host) s_.host->SpeedResetToNormal();
  if (s_.clock) s_.clock->SetMode(media::ACPlayClock::kModeRestart);
  s_.stats.seeks.fetch_add(1);
}

void ReaderLink::PushMarker(int64_t marker, int64_t lengthMs) {
  if (marker >= media::DTS_END && marker <= media::DTS_BEGIN) s_.stats.markers[-marker - 1].fetch_add(1);
  if (s_.soundPlayer) {
    while (!s_.soundPlayer->PushAudio(s_.audioChannel.load(), 0, marker, nullptr, 0)) {
      if (GiveUp()) return;
      s_.soundPlayer->WaitForRoom(kRefusedPushWaitMs, &s_.interruptEvent);
    }
  }
  // The filter retries each ring itself until it takes the marker, stops,
  // or the reader is told to quit or restart.
  if (s_.movieFilter && !s_.movieFilter->InputMarker(marker, [this] { return Interrupted(); })) return;
  if (s_.clock) {
    while (!s_.clock->PushDTS(marker, lengthMs)) {
      if (GiveUp()) return;
      s_.clock->WaitForRoom(kRefusedPushWaitMs, &s_.interruptEvent);
    }
  }
}

void ReaderLink::EndOfRecording(int64_t lengthMs) {
  PushMarker(media::DTS_END, lengthMs);
  gate_.Reset();
  s_.ended.store(1);
}

void ReaderLink::LeaveRecording(int64_t lengthMs) {
  if (s_.ended.load() != 0) return;
  vehicle::RecordDelivery::QueueReset(s_.mapQueue.load(), s_.chartQueue.load());
  PushMarker(media::DTS_SWITCH, lengthMs);
}

void ReaderLink::EnterRecording(int64_t startSeconds, int64_t lengthMs) {
  s_.stats.opened.fetch_add(1);
  delivery_.SetStartTime(startSeconds);
  if (s_.host) s_.host->RecordingOpened(startSeconds);
  ForgetClockTime();
  PushMarker(media::DTS_BEGIN, lengthMs);
  // The flag describes the open recording: a recording that starts playing
  // has not ended, so that leaving it in mid-play sends the switch markers.
  s_.ended.store(0);
}

bool ReaderLink::KeyFramesOnly() const { return SecondPlay() || s_.speedCode.load() > 32; }

bool ReaderLink::SoundWanted(int channel) const {
  return !SecondPlay() && s_.speedCode.load() <= 32 && channel == s_.audioChannel.load();
}

bool ReaderLink::PushVideo(int channel, int codecId, int64_t timeMs, const unsigned char* data, int size, int width,
                           int height) {
  if (!s_.movieFilter) return true;
  // InputData takes a writable pointer but only copies from it.
  auto* bytes = const_cast<unsigned char*>(data);
  while (!s_.movieFilter->InputData(channel, codecId, timeMs, bytes, size, width, height)) {
    if (GiveUp()) return false;
    s_.movieFilter->WaitForRoom(channel, kRefusedPushWaitMs, &s_.interruptEvent);
  }
  s_.stats.videoPassed.fetch_add(1);
  return true;
}

bool ReaderLink::PushAudio(int channel, int codecId, int64_t timeMs, const unsigned char* data, int size) {
  if (!s_.soundPlayer) return true;
  while (!s_.soundPlayer->PushAudio(channel, codecId, timeMs, data, size)) {
    if (GiveUp()) return false;
    s_.soundPlayer->WaitForRoom(kRefusedPushWaitMs, &s_.interruptEvent);
  }
  s_.stats.audioPassed.fetch_add(1);
  return true;
}

void ReaderLink::PushClock(int64_t timeMs, int64_t lengthMs) {
  if (timeMs == lastClockMs_) return;
  if (s_.clock) {
    while (!s_.clock->PushDTS(timeMs, lengthMs)) {
      if (GiveUp()) return;
      s_.clock->WaitForRoom(kRefusedPushWaitMs, &s_.interruptEvent);
    }
  }
  lastClockMs_ = timeMs;
  s_.stats.clockTimes.fetch_add(1);
}

void ReaderLink::DeliverRecord(const unsigned char* data, int size, int64_t timeMs) {
  s_.stats.dataRecords.fetch_add(1);
  delivery_.Deliver(s_.mapQueue.load(), s_.chartQueue.load(), data, size, timeMs, SecondPlay());
}

bool ReaderLink::HandToExport(const ExportPacket& packet) {
  if (s_.exportPending.load() == 0) return false;
  if (!s_.exportBranch) {
    s_.exportPending.store(0);
    return false;
  }
  s_.stats.exported.fetch_add(1);
  s_.exportBranch->ExportPacket(s_, packet);
  return true;
}

void ReaderLink::ExportEnded() {
  if (s_.exportPending.load() != 0 && s_.exportBranch) s_.exportBranch->ExportSourceEnded(s_);
}

void ReaderLink::SeekDone(int requestSeq) {
  if (s_.exportBranch) s_.exportBranch->ExportSeekDone(s_, requestSeq);
}

}  // namespace playback::detail
