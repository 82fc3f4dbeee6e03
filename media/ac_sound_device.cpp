#include "media/ac_sound_device.h"

#include <chrono>
#include <cstring>

namespace media {

namespace {

int64_t monotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

ACSoundDevice::~ACSoundDevice() = default;

bool ACSoundDevice::Create(int channels, int rate, int bits, int bufferBytes) {
  std::lock_guard<std::mutex> control(controlMutex_);
  if (channels < 1 || channels > 2 || (bits != 8 && bits != 16) || rate < 1000 || rate > 192000) return false;
  const int blockAlign = channels * bits / 8;
  if (bufferBytes < blockAlign * 16 || bufferBytes % blockAlign != 0 || bufferBytes > (1 << 24)) return false;
  if (open_) {
    StopOutput();
    CloseOutput();
    open_ = false;
  }
  {
    std::lock_guard<std::mutex> data(dataMutex_);
    channels_ = channels;
    bits_ = bits;
    blockAlign_ = blockAlign;
    silence_ = bits == 8 ? 0x80 : 0;
    buffer_.assign(static_cast<size_t>(bufferBytes), static_cast<unsigned char>(silence_));
    bufferBytes_ = bufferBytes;
    positionCount_ = 0;
    notify_ = stopped_ = nullptr;
  }
  playPosition_.store(0);
  playing_.store(false);
  bytesPlayed_.store(0);
  frequency_.store(rate);
  {
    std::lock_guard<std::mutex> timing(timingMutex_);
    anchored_ = false;
    anchorBytes_ = anchorNs_ = handedBytes_ = windowBytes_ = 0;
    bytesPerSecond_ = static_cast<int64_t>(rate) * blockAlign;
  }
  if (!OpenOutput(channels, rate, bits)) return false;
  open_ = true;
  return true;
}

void ACSoundDevice::Release() {
  StopPlayback();
  std::lock_guard<std::mutex> control(controlMutex_);
  if (open_) {
    CloseOutput();
    open_ = false;
  }
}

bool ACSoundDevice::SetNotifications(const int* positions, int count, ACEvent* notify, ACEvent* stopped) {
  if (count < 0 || count > kMaxNotifications || (count > 0 && (positions == nullptr || notify == nullptr)))
    return false;
  std::lock_guard<std::mutex> data(dataMutex_);
  for (int i = 0; i < count; ++i)
    if (positions[i] < 0 || positions[i] >= bufferBytes_) return false;
  for (int i = 0; i < count; ++i) positions_[i] = positions[i];
  positionCount_ = count;
  notify_ = notify;
  stopped_ = stopped;
  return true;
}

bool ACSoundDevice::Lock(int offset, int bytes, unsigned char** part1, int* bytes1, unsigned char** part2,
                         int* bytes2) {
  if (offset < 0 || bytes < 0 || part1 == nullptr || bytes1 == nullptr || part2 == nullptr || bytes2 == nullptr)
    return false;
  dataMutex_.lock();
  if (buffer_.empty() || offset >= bufferBytes_ || bytes > bufferBytes_) {
    dataMutex_.unlock();
    return false;
  }
  const int first = bytes < bufferBytes_ - offset ? bytes : bufferBytes_ - offset;
  *part1 = buffer_.data() + offset;
  *bytes1 = first;
  *part2 = bytes > first ? buffer_.data() : nullptr;
  *bytes2 = bytes - first;
  return true;
}

void ACSoundDevice::Unlock() { dataMutex_.unlock(); }

bool ACSoundDevice::Play() {
  std::lock_guard<std::mutex> control(controlMutex_);
  if (!open_) return false;
  if (!playing_.exchange(true)) StartOutput();
  return true;
}

void ACSoundDevice::StopPlayback() {
  ACEvent* stopped = nullptr;
  {
    std::lock_guard<std::mutex> control(controlMutex_);
    if (!playing_.exchange(false)) return;
    if (open_) StopOutput();
    std::lock_guard<std::mutex> data(dataMutex_);
    stopped = stopped_;
  }
  if (stopped != nullptr) stopped->Set();
}

bool ACSoundDevice::SetFrequency(int hz) {
  if (hz < 100 || hz > 768000) return false;
  std::lock_guard<std::mutex> control(controlMutex_);
  if (!open_) return false;
  if (hz == frequency_.load()) return true;
  const bool wasPlaying = playing_.load();
  if (wasPlaying) StopOutput();
  CloseOutput();
  frequency_.store(hz);
  {
    // The estimate goes on from where it stands, at the new rate.
    std::lock_guard<std::mutex> timing(timingMutex_);
    const int64_t now = monotonicNs();
    if (anchored_) {
      anchorBytes_ = EstimateLocked(now);
      anchorNs_ = now;
    }
    bytesPerSecond_ = static_cast<int64_t>(hz) * blockAlign_;
  }
  open_ = OpenOutput(channels_, hz, bits_);
  if (!open_) {
    playing_.store(false);
    return false;
  }
  if (wasPlaying) StartOutput();
  return true;
}

void ACSoundDevice::SetIdle(bool idle) {
  std::lock_guard<std::mutex> control(controlMutex_);
  if (idle_.exchange(idle) != idle) IdleOutput(idle);
}

int64_t ACSoundDevice::EstimateLocked(int64_t nowNs) const {
  // Past 10 s the estimate has long reached what was handed out; the cap
  // keeps the product below 64 bits.
  constexpr int64_t kMaxElapsedNs = 10000000000;
  int64_t elapsedNs = nowNs > anchorNs_ ? nowNs - anchorNs_ : 0;
  if (elapsedNs > kMaxElapsedNs) elapsedNs = kMaxElapsedNs;
  const int64_t estimate = anchorBytes_ + elapsedNs * bytesPerSecond_ / 1000000000;
  return estimate < handedBytes_ ? estimate : handedBytes_;
}

int64_t ACSoundDevice::PlayedBytesNow() const {
  std::lock_guard<std::mutex> timing(timingMutex_);
  if (!anchored_) return handedBytes_;
  return EstimateLocked(monotonicNs());
}

void ACSoundDevice::Render(unsigned char* out, int bytes) {
  if (bytes <= 0) return;
  std::lock_guard<std::mutex> data(dataMutex_);
  if (!playing_.load() || buffer_.empty()) {
    std::memset(out, silence_, static_cast<size_t>(bytes));
    return;
  }
  int position = playPosition_.load();
  bool passed = false;
  int done = 0;
  while (done < bytes) {
    const int n = bytes - done < bufferBytes_ - position ? bytes - done : bufferBytes_ - position;
    std::memcpy(out + done, buffer_.data() + position, static_cast<size_t>(n));
    // A notification fires when the play position moves past its offset.
    for (int i = 0; i < positionCount_; ++i)
      if (positions_[i] >= position && positions_[i] < position + n) passed = true;
    position += n;
    if (position >= bufferBytes_) position = 0;
    done += n;
  }
  playPosition_.store(position);
  bytesPlayed_.fetch_add(bytes);
  {
    // The output takes these bytes now and plays them from here on: the
    // estimate, which has run on at the nominal rate since the last Render,
    // is held within [handed - window, handed before this piece] and anchored
    // afresh, so it never jumps back and never runs ahead of the output.
    std::lock_guard<std::mutex> timing(timingMutex_);
    const int64_t now = monotonicNs();
    int64_t estimate = anchored_ ? EstimateLocked(now) : handedBytes_;
    handedBytes_ += bytes;
    if (2 * static_cast<int64_t>(bytes) > windowBytes_) windowBytes_ = 2 * static_cast<int64_t>(bytes);
    if (estimate < handedBytes_ - windowBytes_) estimate = handedBytes_ - windowBytes_;
    anchorBytes_ = estimate;
    anchorNs_ = now;
    anchored_ = true;
  }
  if (passed && notify_ != nullptr) notify_->Set();
}

}  // namespace media
