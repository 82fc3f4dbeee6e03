// What the KRV and the AVI reader threads do alike: waiting on their gate,
// the restart and seek resets of the pipeline, the marker pushes, the
// refused-push retries, the vehicle records and the export hand-off.
// Internal to the reader threads.
#pragma once

#include <cstdint>

#include "playback/play_state.h"
#include "playback/reader_export.h"
#include "media/ac_sync.h"
#include "vehicle/record_delivery.h"

namespace playback::detail {

// A refused push (a packet, a marker, a clock time) is tried again as soon as
// the queue frees a slot: the queue's "space" wakes the reader, and so does an
// exit or restart request or the gates being shut (PlayState::interruptEvent,
// set by whoever raises them). With both wake-ups there is nothing to look at
// in between, so the wait has no limit: a paused player's reader, in front of
// full queues, sleeps until play goes on or it is told to stop.
constexpr int kRefusedPushWaitMs = media::kInfinite;
// How long a parked reader sleeps between looks at exitRequested when no
// wake-up comes (the owner's wake event ends the wait at once).
constexpr int kParkPollMs = 100;

class ReaderLink {
 public:
  // gate: the state's krv or avi gate; wake: set by the owner to end a parked wait.
  ReaderLink(PlayState& state, media::ACEvent& gate, media::ACEvent& wake)
      : s_(state), gate_(gate), wake_(wake), passIndex_(&gate == &state.gates.avi ? 1 : 0) {}
  ~ReaderLink() { LeavePass(); }

  PlayState& State() { return s_; }
  bool ExitRequested() const { return s_.exitRequested.load() != 0; }
  // A refused push gives up on these.
  bool Interrupted() const { return s_.exitRequested.load() != 0 || s_.restartRequested.load() != 0; }
  // Interrupted(), for a refused push about to give up: the interrupt event
  // is auto-reset and the other reader may wait on it too (two readers can
  // push for a moment while the kind of recording changes), so the one that
  // gives up passes the wake-up on.
  bool GiveUp() {
    if (!Interrupted()) return false;
    s_.interruptEvent.Set();
    return true;
  }

  // Step 1 of a pass: waits until the gate is signalled. False when exit is
  // requested (at once if the owner sets the wake event, else within
  // kParkPollMs).
  bool WaitGate();

  // Step 2: a restart request empties the pipeline; with stopRequested the
  // gate is reset as well. True when the pass ends here (parked).
  bool HandleRestart();

  // The reset of a seek, before the container seeks: pipeline emptied,
  // "Seek" and "Clear" queued, second play ended, speed back to x1, clock
  // restarted (mode 5).
  void ResetForSeek();

  // A marker into the sound player, the movie filter and the clock, in
  // this order, each retried until taken (or exit / restart): the filter's
  // rings every 2 ms, the others when they free a slot.
  void PushMarker(int64_t marker, int64_t lengthMs);

  // The recording ran out: DTS_END, gate reset, `ended` set.
  void EndOfRecording(int64_t lengthMs);

  // A source switch leaves the open recording: unless it ran to its end,
  // "Seek" and "Clear" are queued and DTS_SWITCH is pushed.
  void LeaveRecording(int64_t lengthMs);

  // A new recording is open: its start time goes to the charts (through
  // the host) and DTS_BEGIN is pushed.
  void EnterRecording(int64_t startSeconds, int64_t lengthMs);

  // The rules of fast playback: key frames only during second play and
  // above x2; sound only at x2 or below, outside second play, for the
  // selected channel.
  bool KeyFramesOnly() const;
  bool SoundWanted(int channel) const;
  bool SecondPlay() const { return s_.secondPlayEvent.IsSet(); }

  // A video or audio packet into the pipeline, retried whenever the queue
  // frees a slot while refused. False when it gave up (exit or restart
  // requested).
  bool PushVideo(int channel, int codecId, int64_t timeMs, const unsigned char* data, int size, int width,
                 int height);
  bool PushAudio(int channel, int codecId, int64_t timeMs, const unsigned char* data, int size);
  // A new video time into the clock, once per distinct time, retried
  // whenever the list frees an entry while refused.
  void PushClock(int64_t timeMs, int64_t lengthMs);
  // Forget the last time pushed (after emptying the clock's list).
  void ForgetClockTime() { lastClockMs_ = -1; }

  // A data packet to the map and the charts.
  void DeliverRecord(const unsigned char* data, int size, int64_t timeMs);

  // While exportPending is set: hands the packet over and returns true.
  // Without an export branch the request is dropped (exportPending cleared)
  // and false is returned, so the packet plays.
  bool HandToExport(const ExportPacket& packet);
  // The recording ran out while exporting.
  void ExportEnded();
  // A seek was carried out for requests up to exportSeq `requestSeq`.
  void SeekDone(int requestSeq);

 private:
  // readerInPass: entered only while the gate is open (looked at after the
  // flag is raised, so an owner that reset the gate first sees the reader
  // either parked or turning back).
  bool EnterPass();
  void LeavePass();

  PlayState& s_;
  media::ACEvent& gate_;
  media::ACEvent& wake_;
  const int passIndex_;
  vehicle::RecordDelivery delivery_;
  int64_t lastClockMs_ = -1;
};

}  // namespace playback::detail
