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

// Retry intervals of refused pushes: packets and markers / clock times.
// They bound how late a push is tried again after its queue freed a slot:
// a refused push waits on the queue's signal, which ends the wait as soon as
// a slot frees, and a restart or exit request ends it too
// (PlayState::WakeRefusedPushes). Without either, it looks again after
// kRefusedPushWaitMs, so a queue that stays full (paused playback) costs no
// wake-ups.
constexpr int kPacketRetryMs = 1;
constexpr int kMarkerRetryMs = 2;
constexpr int kRefusedPushWaitMs = 100;
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
  // this order, each retried as its queue frees a slot until taken (or
  // exit / restart).
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

  // A video or audio packet into the pipeline, retried every 1 ms while
  // refused. False when it gave up (exit or restart requested).
  bool PushVideo(int channel, int codecId, int64_t timeMs, const unsigned char* data, int size, int width,
                 int height);
  bool PushAudio(int channel, int codecId, int64_t timeMs, const unsigned char* data, int size);
  // A new video time into the clock, once per distinct time, retried every
  // 2 ms while refused.
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
