// The four-channel video output filter: per channel a packet ring, a decode
// thread with its H.264 decoder, a picture pool, a display thread and a
// renderer. The display threads show each picture once the playback clock
// has reached the previous picture's time, and hand every shown picture to
// the downstream (snapshot) filter. One filter serves the whole window and
// the live channels; its methods are the interface the live library uses.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "media/ac_media_list.h"
#include "media/ac_movie_list.h"
#include "media/ac_object.h"
#include "media/ac_sync.h"

namespace media {

struct PlayGates;

class ACDecoder;
class ACSnapshotFilter;
class ImplACVirtualMovie;

class ACMovieFilter : public virtual ACFilter {
 public:
  static constexpr int kChannels = 4;
  static constexpr int kFilterType = 108;

  ACMovieFilter();
  ~ACMovieFilter() override;  // FinalFilter must have been called
  ACMovieFilter(const ACMovieFilter&) = delete;
  ACMovieFilter& operator=(const ACMovieFilter&) = delete;

  // Takes over the parameter block, creates a renderer for every channel
  // below the channel count whose window is set, starts the decode and
  // display threads of every channel that has none. A null block only starts
  // the threads. Returns 1.
  virtual int InitFilter(ACParam* param);
  // Stops all threads (bounded waits), deletes renderers and decoders. 1.
  virtual int FinalFilter();
  virtual int getFilterType() { return kFilterType; }
  // The downstream filter, an ACSnapshotFilter.
  virtual void SetFilter(void* next);
  // A marker (-1, -2, -3) into every ring, in channel order, trying every
  // 2 ms until each took it or the filter stops. Not subject to the gates.
  virtual void InputData(int dts);
  // One compressed H.264 access unit of a channel. 0 = ring full, try again;
  // 1 = taken, or dropped (no play gate open, or longer than a slot).
  virtual int InputData(int channel, int type, int64_t dts, unsigned char* data, int length, int width,
                        int height);
  // Shows one YUY2 picture: the downstream filter first (under its lock),
  // then the channel's renderer.
  virtual void ShowMovie(int channel, int64_t dts, unsigned char* picture, int width, int height);
  // The clock's current time in ms.
  virtual void CurDTS(int64_t dts);

  // The display loop of one channel: 0x5500 for a negative channel, else 0
  // when the filter stops.
  int PlayMovie(int channel);
  void PushFrame(int hold);  // non-zero: hold the pictures
  void OneFrame(int on);     // non-zero: an empty pool re-shows the current picture
  // Flushes all four channels and waits until every decode thread has
  // acknowledged (bounded: gives up when the filter stops).
  void EmptyData();
  void EmptyDecListBuf(int channel);

  // Waits up to timeoutMs for the channel's packet ring to free a slot (a
  // producer whose InputData was refused waits here instead of sleeping
  // before it tries again). 1 = woken (look again: the wake-up may be
  // spurious), 0 = timed out or no such channel.
  int WaitForRoom(int channel, int timeoutMs);
  // Ends every WaitForRoom at once (a producer told to give up looks at its
  // flags); the producers try their pushes again.
  void WakeRoomWaiters();

  int64_t CurrentDTS() const { return currentDts_.load(); }
  // The hold event as it stands (PushFrame) and the one-frame flag.
  bool Held() const;
  bool OneFrameOn() const;
  // Packets waiting in a channel's ring and pictures ready in its pool (for
  // tests and diagnostics; -1 for no such channel).
  int QueuedPackets(int channel);
  int QueuedPictures(int channel);

  // A marker into every ring as InputData(int) does, but giving up as soon
  // as `giveUp` returns true (a reader told to quit or restart). 1 = all
  // four rings took it, 0 = given up (or the filter stopped).
  int InputMarker(int64_t dts, const std::function<bool()>& giveUp);

  // Called after every ShowMovie with what was shown (tests and krvtool
  // count pictures with it). Set before InitFilter; called on display threads.
  using ShowObserver = std::function<void(int channel, int64_t dts, const unsigned char* picture, int width,
                                          int height)>;
  void SetShowObserver(ShowObserver observer);
  // Called once for every picture a display thread takes from its pool
  // (before it is shown); re-shows (hold, one-frame) and the blank picture
  // do not come here. Set before InitFilter; called on display threads.
  void SetNewPictureObserver(ShowObserver observer);
  // The tick count the display threads read (the 4 s blanking); tests give
  // their own. Set before InitFilter; null = the system's.
  void SetTickClock(const ACTickClock* clock);
  // The play gates reader pushes are subject to (InputData with a packet);
  // null = not gated. Markers are never gated.
  void SetPlayGates(const PlayGates* gates) { gates_.store(gates); }

  // ---- live input ----------------------------------------------------------
  // A live channel shows each picture as soon as it is decoded, whatever the
  // clock says. Set by the owner of the live channels before it feeds one.
  void SetLive(int channel, bool on);
  bool IsLive(int channel) const;
  // One compressed H.264 access unit of a live channel. The play gates
  // govern reader pushes only: a live push is never gated. 0 = ring full
  // (the live source drops up to its next key frame), 1 = taken, or dropped
  // for no such channel or a packet longer than a slot.
  int InputLiveData(int channel, int64_t dts, unsigned char* data, int length, int width, int height);

 private:
  void DecodeLoop(int channel);
  // ShowMovie; `again` for a picture shown again unchanged (see
  // ImplACVirtualMovie::DrawAgain).
  void Show(int channel, int64_t dts, unsigned char* picture, int width, int height, bool again);
  bool AcquireSlot(int channel, ACMovieFrame** slot, unsigned char** buffer, int32_t** halfWidth,
                   int32_t** width, int32_t** height);

  // (fields: see the implementation; every cross-thread word is atomic)
  std::atomic<int64_t> currentDts_{0};
  std::atomic<const PlayGates*> gates_{nullptr};
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace media
