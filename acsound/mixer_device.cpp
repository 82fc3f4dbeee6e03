#include "acsound/mixer_device.h"
#include "media/ac_log.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace acsound {

uint32_t RawToLevel(long raw, long minimum, long maximum) {
  if (maximum <= minimum) return 0;
  if (raw < minimum) raw = minimum;
  if (raw > maximum) raw = maximum;
  const int64_t span = static_cast<int64_t>(maximum) - minimum;
  const int64_t offset = static_cast<int64_t>(raw) - minimum;
  return static_cast<uint32_t>((offset * kMaxLevel * 2 + span) / (span * 2));
}

long LevelToRaw(uint32_t level, long minimum, long maximum) {
  if (maximum <= minimum) return minimum;
  if (level > kMaxLevel) level = kMaxLevel;
  const int64_t span = static_cast<int64_t>(maximum) - minimum;
  return static_cast<long>(minimum + (static_cast<int64_t>(level) * span * 2 + kMaxLevel) / (int64_t{kMaxLevel} * 2));
}

std::shared_ptr<MixerDevice> MixerDevice::Open(const std::string& device, media::ACMessageSink* window) {
  std::unique_ptr<Mixer> backend = OpenAlsaMixer(device);
  if (!backend) return nullptr;
  return Adopt(std::move(backend), window);
}

std::shared_ptr<MixerDevice> MixerDevice::Adopt(std::unique_ptr<Mixer> backend, media::ACMessageSink* window) {
  if (!backend) return nullptr;
  return std::shared_ptr<MixerDevice>(new MixerDevice(std::move(backend), window));
}

MixerDevice::MixerDevice(std::unique_ptr<Mixer> backend, media::ACMessageSink* window)
    : backend_(std::move(backend)), window_(window), stopFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  open_.store(true);
}

MixerDevice::~MixerDevice() {
  Close();
  if (stopFd_ >= 0) ::close(stopFd_);
}

bool MixerDevice::StartNotifications() {
  if (!open_.load() || stopFd_ < 0 || thread_.Attached()) return false;
  return thread_.Start([this] { NotifyLoop(); });
}

bool MixerDevice::Close() {
  bool ended = true;
  if (thread_.Attached()) {
    const uint64_t one = 1;
    (void)::write(stopFd_, &one, sizeof one);
    ended = thread_.WaitEnded(kCloseWaitMs);
    if (!ended) {
      media::LogLine(media::LogLevel::kError, "mixer", "the notification thread did not end within %d ms", kCloseWaitMs);
      thread_.Join();  // it ends once it has the lock; nothing else holds it long
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  backend_.reset();
  open_.store(false);
  return ended;
}

void MixerDevice::Post() {
  if (window_) window_->PostMessage(media::WM_MIXER_VOLUME, Handle(), 0);
}

void MixerDevice::NotifyLoop() {
  struct pollfd fds[kMaxDescriptors + 1];
  int count = -1;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (backend_) count = backend_->PollDescriptors(fds, kMaxDescriptors);
  }
  if (count < 0) {
    media::LogLine(media::LogLevel::kError, "mixer", "no change notifications (no descriptors)");
    return;
  }
  fds[count] = {stopFd_, POLLIN, 0};
  for (;;) {
    // Ended by the stop descriptor; nothing else is waited for.
    const int ready = ::poll(fds, count + 1, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      media::LogLine(media::LogLevel::kError, "mixer", "waiting for changes failed (errno %d)", errno);
      return;
    }
    if (fds[count].revents) return;  // Close
    int changed = -1;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (backend_) changed = backend_->HandleEvents(fds, count);
      if (changed < 0) {
        backend_.reset();
        open_.store(false);
      }
    }
    if (changed < 0) {
      media::LogLine(media::LogLevel::kError, "mixer", "the sound mixer went away; volume and mute are off");
      Post();
      return;
    }
    if (changed > 0) Post();
  }
}

MixerDevice::Search MixerDevice::FindControl(int componentType, uint32_t controlType, int* id, MixerElement* info) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!backend_) return Search::kClosed;
  if (componentType != kDstSpeakers && componentType != kDstHeadphones) return Search::kNoLine;
  if (controlType != kControlVolume && controlType != kControlMute) return Search::kNoControl;
  const bool volume = controlType == kControlVolume;
  auto has = [volume](const MixerElement& e) { return e.channels > 0 && (volume ? e.playbackVolume : e.playbackSwitch); };

  const int n = backend_->ElementCount();
  bool line = false;  // an element of the line exists, with or without the control
  auto pick = [&](auto match) {
    MixerElement e;
    for (int i = 0; i < n; ++i) {
      if (!backend_->Element(i, &e) || !match(e)) continue;
      line = true;
      if (has(e)) {
        *id = i;
        *info = e;
        return true;
      }
    }
    return false;
  };
  if (componentType == kDstHeadphones) {
    if (pick([](const MixerElement& e) { return e.name == "Headphone"; })) return Search::kFound;
    return line ? Search::kNoControl : Search::kNoLine;
  }
  for (const char* name : {"Master", "Speaker", "PCM"}) {
    if (pick([name](const MixerElement& e) { return e.name == name; })) return Search::kFound;
  }
  if (pick([](const MixerElement& e) { return e.channels > 0 && (e.playbackVolume || e.playbackSwitch); }))
    return Search::kFound;
  return line ? Search::kNoControl : Search::kNoLine;
}

bool MixerDevice::GetLevel(int id, int channel, uint32_t* level) {
  std::lock_guard<std::mutex> lock(mutex_);
  long minimum = 0, maximum = 0, raw = 0;
  if (!backend_ || !backend_->VolumeRange(id, &minimum, &maximum) || !backend_->GetVolume(id, channel, &raw))
    return false;
  *level = RawToLevel(raw, minimum, maximum);
  return true;
}

bool MixerDevice::SetLevel(int id, int channel, uint32_t level) {
  std::lock_guard<std::mutex> lock(mutex_);
  long minimum = 0, maximum = 0;
  if (!backend_ || !backend_->VolumeRange(id, &minimum, &maximum)) return false;
  return backend_->SetVolume(id, channel, LevelToRaw(level, minimum, maximum));
}

bool MixerDevice::GetSwitch(int id, int channel, int* on) {
  std::lock_guard<std::mutex> lock(mutex_);
  return backend_ && backend_->GetSwitch(id, channel, on);
}

bool MixerDevice::SetSwitchAll(int id, int on) {
  std::lock_guard<std::mutex> lock(mutex_);
  return backend_ && backend_->SetSwitchAll(id, on);
}

}  // namespace acsound
