// The four-channel video output filter: decode and display threads,
// flushing, hold and one-frame display, the blank picture.
#include "media/ac_movie_filter.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "media/ac_h264_decoder.h"
#include "media/ac_records.h"
#include "media/ac_snapshot_filter.h"
#include "media/codec_map.h"
#include "media/impl_ac_virtual_movie.h"
#include "media/play_gates.h"
#include "media/yuv_convert.h"

namespace media {

namespace {

constexpr int kBlankWidth = 176;
constexpr int kBlankHeight = 144;
constexpr int kBlankBytes = kBlankWidth * kBlankHeight * 2;  // 50688
constexpr uint32_t kBlankAfterMs = 4000;
constexpr int64_t kBehindClockMs = 500;
// Bounded waits of FinalFilter for each thread.
constexpr int kThreadEndWaitMs = 500;
// EmptyData looks at the stop flag this often while it waits.
constexpr int kAckPollMs = 20;
// The longest a thread of the filter waits for work before it looks at its
// flags again; everything that gives it work or a new state (a packet, a
// picture, a free slot, the clock, hold, one-frame, a flush, the stop)
// wakes it at once.
constexpr int kIdleWaitMs = 100;
// A decode thread waits without limit for a packet, or for a free slot when
// its pool is full: a packet, a slot the display frees, a flush and the stop
// wake it at once, and nothing else gives it work (no packets come while
// nothing plays; a held display frees no slot while paused).
constexpr int kDecodeWaitMs = kInfinite;
// The marker retry, and the design's pauses of the display loop.
constexpr int kMarkerRetryMs = 2;
// A decode thread that found its pool full goes on when this many slots are
// free again (a live channel's at once): it then decodes that many pictures
// in a row, with the decoder's tables and reference pictures still in the
// cache, instead of one picture each time the display frees a slot. The
// pool still holds 13 pictures (half a second at 25 a second) when it goes
// on.
constexpr int kRefillSlots = 12;
constexpr int kHoldReshowMs = 33;
constexpr int kEmptyPoolWaitMs = 10;
constexpr int kBlankReshowMs = 60;

}  // namespace

struct ACMovieFilter::Impl {
  struct Channel {
    // Guards `renderer`: InitFilter may make it while the display thread
    // draws. Taken by the display thread around each Draw.
    std::mutex rendererLock;
    ImplACVirtualMovie* renderer = nullptr;
    // Made and used by the decode thread only; deleted by FinalFilter after
    // that thread has ended.
    ACDecoder* decoder = nullptr;
    ACMediaList ring;   // producer: InputData; consumer: decode thread; under ring.Lock
    ACMovieList pool;   // producer: decode thread; consumer: display thread; under pool.Lock
    ACThread decodeThread;
    ACThread displayThread;
    ACEvent flushed{ACEvent::kAutoReset};       // set by EmptyDecListBuf, consumed by the display thread
    ACEvent acknowledged{ACEvent::kAutoReset};  // set by the decode thread after a flush
    std::atomic<int> flushRequest{0};           // set by EmptyData, cleared by the decode thread
    // Wakes the display thread: a new clock time, hold, one-frame, a flush
    // or the stop. Waited on together with the pool's "data".
    ACEvent displayWake{ACEvent::kAutoReset};
    // 1 while the channel shows a live source: set by its owner, read by
    // the display thread.
    std::atomic<int> live{0};
  };
  void WakeAll() {
    for (Channel& ch : channels) {
      ch.ring.WakeWaiters();
      ch.pool.WakeWaiters();
      ch.displayWake.Set();
    }
  }
  void WakeDisplays() {
    for (Channel& ch : channels) ch.displayWake.Set();
  }

  Channel channels[kChannels];
  // 1 while no threads should run: set at construction and by FinalFilter,
  // cleared by InitFilter. Read by every thread of the filter.
  std::atomic<int> stop{1};
  std::atomic<int> oneFrame{0};
  ACEvent hold{ACEvent::kManualReset};
  std::atomic<int> channelCount{-1};
  // The parameter block's values a filter keeps (not used here).
  int32_t positiveValues[4] = {-1, -1, -1, -1};
  int32_t nonNegativeValues[2] = {-1, -1};
  uint8_t byteValues[4] = {128, 92, 128, 128};
  std::atomic<ACSnapshotFilter*> downstream{nullptr};
  std::vector<unsigned char> blank = std::vector<unsigned char>(kBlankBytes, 0);
  // Set before InitFilter, read by the display threads.
  ShowObserver showObserver;
  ShowObserver newPictureObserver;
  const ACTickClock* tickClock = &ACTickClock::System();
};

ACMovieFilter::ACMovieFilter() : impl_(std::make_unique<Impl>()) {}

ACMovieFilter::~ACMovieFilter() {
  // The owner calls FinalFilter first; a filter destroyed with its threads
  // still running stops them here rather than leave them on freed memory.
  FinalFilter();
}

int ACMovieFilter::InitFilter(ACParam* param) {
  Impl& d = *impl_;
  if (param != nullptr) {
    for (int i = 0; i < 4; ++i)
      if (param->positiveValues[i] > 0) d.positiveValues[i] = param->positiveValues[i];
    for (int i = 0; i < 2; ++i)
      if (param->nonNegativeValues[i] >= 0) d.nonNegativeValues[i] = param->nonNegativeValues[i];
    std::memcpy(d.byteValues, param->byteValues, sizeof d.byteValues);
    d.channelCount.store(param->channelCount);
    const int count = param->channelCount < kChannels ? param->channelCount : kChannels;
    for (int c = 0; c < count; ++c) {
      if (param->windows[c] == nullptr) continue;
      Impl::Channel& ch = d.channels[c];
      std::lock_guard<std::mutex> lock(ch.rendererLock);
      if (ch.renderer != nullptr) continue;
      ch.renderer = CreateRenderer(param->windows[c]);
      // A renderer whose device cannot be made stays: its Draw returns 0.
      if (ch.renderer != nullptr) ch.renderer->Init(param->windows[c]);
    }
  }
  d.stop.store(0);
  for (int c = 0; c < kChannels; ++c) {
    Impl::Channel& ch = d.channels[c];
    if (ch.decodeThread.Attached()) continue;
    char decodeName[16], displayName[16];
    std::snprintf(decodeName, sizeof decodeName, "cv-decode%d", c);
    std::snprintf(displayName, sizeof displayName, "cv-display%d", c);
    ch.decodeThread.Start([this, c] { DecodeLoop(c); }, decodeName);
    ch.displayThread.Start([this, c] { PlayMovie(c); }, displayName);
  }
  return 1;
}

int ACMovieFilter::FinalFilter() {
  Impl& d = *impl_;
  d.stop.store(1);
  d.WakeAll();
  // Every loop of the filter is woken by the stop (and looks at the flag at
  // least every 100 ms); the joins below never wait on a thread that has no
  // reason to end.
  for (Impl::Channel& ch : d.channels) {
    ch.decodeThread.WaitEnded(kThreadEndWaitMs);
    ch.displayThread.WaitEnded(kThreadEndWaitMs);
  }
  for (Impl::Channel& ch : d.channels) {
    ch.decodeThread.Join();
    ch.displayThread.Join();
  }
  for (Impl::Channel& ch : d.channels) {
    ImplACVirtualMovie* r;
    {
      std::lock_guard<std::mutex> lock(ch.rendererLock);
      r = ch.renderer;
      ch.renderer = nullptr;
    }
    if (r != nullptr) {
      r->Close();
      delete r;
    }
    delete ch.decoder;
    ch.decoder = nullptr;
  }
  return 1;
}

void ACMovieFilter::SetFilter(void* next) { impl_->downstream.store(static_cast<ACSnapshotFilter*>(next)); }

void ACMovieFilter::InputData(int dts) { InputMarker(dts, nullptr); }

int ACMovieFilter::InputMarker(int64_t dts, const std::function<bool()>& giveUp) {
  Impl& d = *impl_;
  for (Impl::Channel& ch : d.channels) {
    for (;;) {
      ch.ring.Lock(-1);
      const int taken = ch.ring.PushPacket(0, dts, nullptr, 0, 0, 0);
      ch.ring.Unlock();
      if (taken != 0) {
        acSleepMs(kMarkerRetryMs);
        break;
      }
      // Tried again when the decode thread frees a slot, 2 ms at the latest.
      ch.ring.WaitForSpace(kMarkerRetryMs);
      // A full ring empties only while its decode thread runs.
      if (d.stop.load() != 0) return 0;
      if (giveUp && giveUp()) return 0;
    }
  }
  return 1;
}

int ACMovieFilter::InputData(int channel, int type, int64_t dts, unsigned char* data, int length, int width,
                             int height) {
  if (channel < 0 || channel >= kChannels) return 1;  // no such channel: dropped
  Impl::Channel& ch = impl_->channels[channel];
  return GatedPush(gates_.load(), [&] {
    ch.ring.Lock(-1);
    const int r = ch.ring.PushPacket(type, dts, data, length, width, height);
    ch.ring.Unlock();
    return r;
  });
}

void ACMovieFilter::SetLive(int channel, bool on) {
  if (channel < 0 || channel >= kChannels) return;
  Impl::Channel& ch = impl_->channels[channel];
  if (ch.live.exchange(on ? 1 : 0) != (on ? 1 : 0)) ch.displayWake.Set();
}

bool ACMovieFilter::IsLive(int channel) const {
  if (channel < 0 || channel >= kChannels) return false;
  return impl_->channels[channel].live.load() != 0;
}

int ACMovieFilter::InputLiveData(int channel, int64_t dts, unsigned char* data, int length, int width,
                                 int height) {
  if (channel < 0 || channel >= kChannels || dts < 0) return 1;  // no such channel, or not a picture: dropped
  Impl::Channel& ch = impl_->channels[channel];
  ch.ring.Lock(-1);
  const int r = ch.ring.PushPacket(AC_CODEC_H264, dts, data, length, width, height);
  ch.ring.Unlock();
  return r;
}

void ACMovieFilter::ShowMovie(int channel, int64_t dts, unsigned char* picture, int width, int height) {
  Show(channel, dts, picture, width, height, false);
}

void ACMovieFilter::Show(int channel, int64_t dts, unsigned char* picture, int width, int height, bool again) {
  if (channel < 0 || channel >= kChannels) return;
  Impl& d = *impl_;
  if (ACSnapshotFilter* next = d.downstream.load()) {
    next->Lock(-1);
    next->TakeSnapshot(channel, picture, width, height);
    next->Unlock();
  }
  Impl::Channel& ch = d.channels[channel];
  {
    std::lock_guard<std::mutex> lock(ch.rendererLock);
    // A failed Draw is ignored. A picture shown again unchanged (hold,
    // one-frame, the blank) is not drawn again while the surfaces hold it.
    if (ch.renderer != nullptr) {
      if (again)
        ch.renderer->DrawAgain(picture, width, height);
      else
        ch.renderer->Draw(picture, width, height);
    }
  }
  if (d.showObserver) d.showObserver(channel, dts, picture, width, height);
}

void ACMovieFilter::CurDTS(int64_t dts) {
  if (currentDts_.exchange(dts) != dts) impl_->WakeDisplays();
}

void ACMovieFilter::PushFrame(int hold) {
  if (hold != 0) {
    impl_->hold.Set();
  } else if (impl_->hold.IsSet()) {
    impl_->hold.Reset();
    impl_->WakeDisplays();
  }
}

void ACMovieFilter::OneFrame(int on) {
  if (impl_->oneFrame.exchange(on != 0 ? 1 : 0) != (on != 0 ? 1 : 0)) impl_->WakeDisplays();
}

int ACMovieFilter::WaitForRoom(int channel, int timeoutMs, ACEvent* orWake) {
  if (channel < 0 || channel >= kChannels) return 0;
  return impl_->channels[channel].ring.WaitForSpace(timeoutMs, orWake) ? 1 : 0;
}

bool ACMovieFilter::Held() const { return impl_->hold.IsSet(); }

bool ACMovieFilter::OneFrameOn() const { return impl_->oneFrame.load() != 0; }

int ACMovieFilter::QueuedPackets(int channel) {
  if (channel < 0 || channel >= kChannels) return -1;
  Impl::Channel& ch = impl_->channels[channel];
  ch.ring.Lock(-1);
  const int n = ch.ring.Count();
  ch.ring.Unlock();
  return n;
}

int ACMovieFilter::QueuedPictures(int channel) {
  if (channel < 0 || channel >= kChannels) return -1;
  Impl::Channel& ch = impl_->channels[channel];
  ch.pool.Lock(-1);
  const int n = ch.pool.ReadyCount();
  ch.pool.Unlock();
  return n;
}

void ACMovieFilter::EmptyData() {
  Impl& d = *impl_;
  for (Impl::Channel& ch : d.channels) {
    ch.ring.Lock(-1);
    ch.ring.ClearPackets();
    ch.ring.Unlock();
    ch.acknowledged.Reset();
    ch.flushRequest.store(1);
    // A decode thread waiting for a packet or a free slot takes it now.
    ch.ring.WakeWaiters();
    ch.pool.WakeWaiters();
  }
  for (int c = 0; c < kChannels; ++c) {
    Impl::Channel& ch = d.channels[c];
    // Until the decode thread acknowledges; a filter that stops (or never
    // ran) flushes here instead, so the wait always ends.
    while (!ch.acknowledged.Wait(kAckPollMs)) {
      if (d.stop.load() != 0 || !ch.decodeThread.Running()) {
        if (ch.flushRequest.exchange(0) != 0) EmptyDecListBuf(c);
        break;
      }
    }
  }
}

void ACMovieFilter::EmptyDecListBuf(int channel) {
  if (channel < 0 || channel >= kChannels) return;
  Impl::Channel& ch = impl_->channels[channel];
  ch.pool.Lock(-1);
  ch.pool.ResetFrames();
  ch.pool.Unlock();
  std::this_thread::yield();
  ch.flushed.Set();
  ch.displayWake.Set();
}

void ACMovieFilter::SetShowObserver(ShowObserver observer) { impl_->showObserver = std::move(observer); }

void ACMovieFilter::SetNewPictureObserver(ShowObserver observer) {
  impl_->newPictureObserver = std::move(observer);
}

void ACMovieFilter::SetTickClock(const ACTickClock* clock) {
  impl_->tickClock = clock != nullptr ? clock : &ACTickClock::System();
}

// Takes a free picture slot for the decode thread, trying again whenever the
// display frees one; gives up (false) when the filter stops or the channel is
// asked to flush (both wake it).
bool ACMovieFilter::AcquireSlot(int channel, ACMovieFrame** slot, unsigned char** buffer, int32_t** halfWidth,
                                int32_t** width, int32_t** height) {
  Impl& d = *impl_;
  Impl::Channel& ch = d.channels[channel];
  bool waited = false;
  for (;;) {
    ch.pool.Lock(-1);
    // The first try also hands the last picture to the display.
    const bool refill = !waited || ch.live.load() != 0 || ch.pool.FreeCount() >= kRefillSlots;
    const int got = refill ? ch.pool.AcquireFrame(slot, buffer, halfWidth, width, height) : 0;
    ch.pool.Unlock();
    if (got != 0) return true;
    if (d.stop.load() != 0 || ch.flushRequest.load() != 0) return false;
    ch.pool.WaitForSpace(kDecodeWaitMs);
    waited = true;
  }
}

void ACMovieFilter::DecodeLoop(int c) {
  Impl& d = *impl_;
  Impl::Channel& ch = d.channels[c];
  // Both buffers live as long as the thread: packets are taken up to the
  // largest planar picture, and the decoder writes into the conversion
  // buffer (which keeps the last picture when a packet yields none).
  std::vector<unsigned char> input(kMaxPlanarPictureBytes);
  acSleepMs(5);
  std::vector<unsigned char> planar(kMediaBufferBytes);

  while (d.stop.load() == 0) {
    if (ch.flushRequest.exchange(0) != 0) {
      EmptyDecListBuf(c);
      ch.acknowledged.Set();
    }
    int type = 0, length = static_cast<int>(input.size()), width = 0, height = 0;
    int64_t dts = 0;
    ch.ring.Lock(-1);
    const int got = ch.ring.PopPacket(&type, &dts, input.data(), &length, &width, &height);
    ch.ring.Unlock();
    if (got == 0) {
      // Until a packet comes (or a flush or the stop wakes it).
      ch.ring.WaitForData(kDecodeWaitMs);
      continue;
    }

    ACMovieFrame* slot = nullptr;
    unsigned char* buffer = nullptr;
    int32_t *halfWidthField = nullptr, *widthField = nullptr, *heightField = nullptr;
    if (dts >= 0) {
      // The size comes from the recording: one the display path cannot hold
      // yields no picture (the decoder refuses it too).
      if (!acPictureSizeFits(width, height)) continue;
      if (ch.decoder == nullptr) {
        auto* h264 = new ACH264Decoder();
        h264->SetOutputCapacity(static_cast<int>(planar.size()));
        ch.decoder = h264;
      }
      {
        std::lock_guard<ACCriticalSection> lock(CodecLock);
        int outLength = 0;
        // Whatever the decoder reports, the buffer holds the last picture,
        // which is queued again under this packet's time.
        ch.decoder->Decode(c, input.data(), length, &outLength, width, height, planar.data());
      }
      if (!AcquireSlot(c, &slot, &buffer, &halfWidthField, &widthField, &heightField)) continue;
      // The slot is the producer's alone until its next AcquireFrame.
      acPlanarToYUY2(planar.data(), buffer, width, height);
      ch.pool.Lock(-1);
      slot->dts = dts;
      *halfWidthField = width / 2;
      *widthField = width;
      *heightField = height;
      ch.pool.Unlock();
    } else {
      if (dts == DTS_SWITCH) {
        // Pictures not yet shown belong to the file being left.
        ch.pool.Lock(-1);
        ch.pool.ResetFrames();
        ch.pool.Unlock();
      }
      // The marker's slot also pushes the last picture out to the display.
      if (!AcquireSlot(c, &slot, &buffer, &halfWidthField, &widthField, &heightField)) continue;
      ch.pool.Lock(-1);
      slot->dts = dts;
      *halfWidthField = 0;
      *widthField = 0;
      *heightField = 0;
      ch.pool.Unlock();
    }
  }
}

int ACMovieFilter::PlayMovie(int c) {
  if (c < 0 || c >= kChannels) return 0x5500;
  Impl& d = *impl_;
  Impl::Channel& ch = d.channels[c];
  const ACTickClock& clock = *d.tickClock;
  int64_t lastDts = 0;
  unsigned char* current = nullptr;  // the picture in the consumer's hand, if any
  int currentWidth = 0, currentHeight = 0;
  // The current picture's bytes changed since it was drawn (a flush blanks it).
  bool currentChanged = false;
  auto showCurrentAgain = [&] {
    if (current == nullptr) return;
    Show(c, lastDts, current, currentWidth, currentHeight, !currentChanged);
    currentChanged = false;
  };
  uint32_t lastShown = 0;
  // A new picture in the pool, or a new state (clock, hold, one-frame,
  // flush, stop), ends every wait of the loop.
  ACEvent* const pictureOrState[2] = {ch.pool.DataEvent(), &ch.displayWake};
  auto waitForPictureOrState = [&](int ms) { WaitForEvents(pictureOrState, 2, ms); };

  while (d.stop.load() == 0) {
    if (ch.flushed.Wait(0)) {
      lastDts = 0;
      if (current != nullptr) {
        std::memset(current, 0, kMediaBufferBytes);
        currentChanged = true;
      }
    }
    if (d.hold.IsSet()) {
      lastShown = clock.Now();
      showCurrentAgain();
      // Shown again every 33 ms until the hold ends (which wakes it).
      ch.displayWake.Wait(kHoldReshowMs);
      continue;
    }
    const int64_t now = currentDts_.load();
    // A live channel has no clock: each picture is shown once decoded.
    if (ch.live.load() == 0 && now < lastDts && lastDts - now < kBehindClockMs) {
      lastShown = clock.Now();
      // Until the clock moves (CurDTS wakes it).
      ch.displayWake.Wait(kIdleWaitMs);
      continue;
    }
    int64_t dts = 0;
    unsigned char* buffer = nullptr;
    int32_t halfWidth = 0, width = 0, height = 0;
    ch.pool.Lock(-1);
    const int got = ch.pool.PopFrame(&dts, &buffer, &halfWidth, &width, &height);
    ch.pool.Unlock();
    if (got != 0) {
      lastShown = clock.Now();
      if (dts < 0) {
        lastDts = 0;
        currentDts_.store(0);
        // Popping the marker gave the previous picture's slot back to the
        // pool: it is no longer ours to show again.
        current = nullptr;
      } else {
        current = buffer;
        currentChanged = false;
        currentWidth = width;
        currentHeight = height;
        lastDts = dts;
        if (d.newPictureObserver) d.newPictureObserver(c, dts, buffer, width, height);
        ShowMovie(c, dts, buffer, width, height);
      }
      continue;
    }
    if (d.oneFrame.load() != 0) {
      lastShown = clock.Now();
      showCurrentAgain();
      waitForPictureOrState(kEmptyPoolWaitMs);
      continue;
    }
    if (lastShown == 0) lastShown = clock.Now();
    const uint32_t idleMs = acElapsedMs(lastShown, clock.Now());
    if (idleMs > kBlankAfterMs) {
      // The blank picture, again every 60 ms or so until pictures come.
      Show(c, 0, d.blank.data(), kBlankWidth, kBlankHeight, true);
      waitForPictureOrState(kBlankReshowMs);
      continue;
    }
    // Until a picture comes, a new state, or the time to blank the pane.
    const uint32_t toBlankMs = kBlankAfterMs + 1 - idleMs;
    waitForPictureOrState(static_cast<int>(toBlankMs < kIdleWaitMs ? toBlankMs : kIdleWaitMs));
  }
  return 0;
}

}  // namespace media
