// A sound device that plays into nothing, in real time: its own thread asks
// every 5 ms for the bytes the elapsed time is worth, plus a lead of 40 ms as
// a device's own buffer holds, so the played position the clock carries on
// between two asks has room when this thread wakes late on a busy machine.
// While its owner has nothing to play (the idle hint) it stops asking, as a
// closed device would, and sleeps until the hint ends (or the stop); then it
// starts again as at its start, without making up for the idle time.
#include <chrono>
#include <vector>

#include "media/ac_sound_device.h"

namespace media {

namespace {

constexpr int kPeriodMs = 5;
constexpr int64_t kLeadUs = 40000;

class NullSoundDevice : public ACSoundDevice {
 public:
  ~NullSoundDevice() override { Release(); }

 protected:
  bool OpenOutput(int channels, int frequency, int bits) override {
    blockAlign_ = channels * bits / 8;
    frequency_ = frequency;
    // A scratch buffer for a quarter second, made once per opening.
    scratch_.assign(static_cast<size_t>(frequency / 4 + 1) * blockAlign_, 0);
    return true;
  }
  void CloseOutput() override {}
  void StartOutput() override {
    stop_.store(false);
    thread_.Start([this] { Loop(); }, "cv-ao-null");
  }
  void StopOutput() override {
    stop_.store(true);
    wake_.Set();
    thread_.Join();
  }
  // The hint (Idle()) is stored before this is called.
  void IdleOutput(bool /*idle*/) override { wake_.Set(); }

 private:
  void Loop() {
    using Clock = std::chrono::steady_clock;
    auto start = Clock::now();
    int64_t framesDone = 0;
    const int64_t maxFrames = static_cast<int64_t>(scratch_.size()) / blockAlign_;
    while (!stop_.load()) {
      if (Idle()) {
        // Until the hint ends or the stop (both set wake_).
        wake_.Wait(kInfinite);
        start = Clock::now();
        framesDone = 0;
        continue;
      }
      // The stop and the idle hint end the wait early.
      wake_.Wait(kPeriodMs);
      const int64_t us = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count();
      int64_t due = (us + kLeadUs) * frequency_ / 1000000 - framesDone;
      if (due > maxFrames) due = maxFrames;
      if (due <= 0) continue;
      Render(scratch_.data(), static_cast<int>(due * blockAlign_));
      framesDone += due;
    }
  }

  // Written by OpenOutput before the thread starts, read by the thread.
  int blockAlign_ = 2;
  int64_t frequency_ = 8000;
  std::vector<unsigned char> scratch_;
  std::atomic<bool> stop_{false};
  ACEvent wake_{ACEvent::kAutoReset};
  ACThread thread_;
};

}  // namespace

std::unique_ptr<ACSoundDevice> CreateNullSoundDevice() { return std::make_unique<NullSoundDevice>(); }

}  // namespace media
