// The table-driven mixer of the tests.
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

#include "acsound/fake_mixer.h"

namespace acsound {

class FakeMixer final : public Mixer {
 public:
  explicit FakeMixer(FakeMixerTable* table) : t_(table) {}

  int ElementCount() const override {
    std::lock_guard<std::mutex> lock(t_->mutex_);
    return static_cast<int>(t_->elements_.size());
  }

  bool Element(int id, MixerElement* out) const override {
    std::lock_guard<std::mutex> lock(t_->mutex_);
    if (id < 0 || id >= static_cast<int>(t_->elements_.size())) return false;
    const FakeMixerTable::Element& e = t_->elements_[id];
    out->name = e.name;
    out->playbackVolume = e.hasVolume;
    out->playbackSwitch = e.hasSwitch;
    out->channels = e.channels;
    return true;
  }

  bool VolumeRange(int id, long* minimum, long* maximum) override {
    std::lock_guard<std::mutex> lock(t_->mutex_);
    const FakeMixerTable::Element* e = Find(id, 0, true);
    if (!e) return false;
    *minimum = e->minimum;
    *maximum = e->maximum;
    return true;
  }

  bool GetVolume(int id, int channel, long* raw) override {
    std::lock_guard<std::mutex> lock(t_->mutex_);
    const FakeMixerTable::Element* e = Find(id, channel, true);
    if (!e) return false;
    *raw = e->raw[channel];
    return true;
  }

  bool SetVolume(int id, int channel, long raw) override {
    std::lock_guard<std::mutex> lock(t_->mutex_);
    FakeMixerTable::Element* e = Find(id, channel, true);
    if (!e || raw < e->minimum || raw > e->maximum) return false;
    e->raw[channel] = raw;
    ++t_->volumeWrites_;
    return true;
  }

  bool GetSwitch(int id, int channel, int* on) override {
    std::lock_guard<std::mutex> lock(t_->mutex_);
    const FakeMixerTable::Element* e = Find(id, channel, false);
    if (!e) return false;
    *on = e->on[channel];
    return true;
  }

  bool SetSwitchAll(int id, int on) override {
    std::lock_guard<std::mutex> lock(t_->mutex_);
    FakeMixerTable::Element* e = Find(id, 0, false);
    if (!e) return false;
    for (int& v : e->on) v = on ? 1 : 0;
    ++t_->switchWrites_;
    return true;
  }

  int PollDescriptors(struct pollfd* fds, int space) override {
    if (space < 1) return -1;
    fds[0] = {t_->eventFd_, POLLIN, 0};
    return 1;
  }

  int HandleEvents(struct pollfd* fds, int count) override {
    if (count < 1 || !(fds[0].revents & POLLIN)) return 0;
    std::lock_guard<std::mutex> lock(t_->mutex_);
    if (t_->lost_) return -1;  // the descriptor stays readable: a lost device
    uint64_t n = 0;
    if (::read(t_->eventFd_, &n, sizeof n) != sizeof n) return 0;
    return 1;
  }

 private:
  // The element when it has the control and the channel; table locked.
  FakeMixerTable::Element* Find(int id, int channel, bool volume) {
    if (t_->fail_ || id < 0 || id >= static_cast<int>(t_->elements_.size())) return nullptr;
    FakeMixerTable::Element& e = t_->elements_[id];
    if (volume ? !e.hasVolume : !e.hasSwitch) return nullptr;
    if (channel < 0 || channel >= e.channels) return nullptr;
    return &e;
  }

  FakeMixerTable* const t_;
};

FakeMixerTable::FakeMixerTable() : eventFd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

FakeMixerTable::~FakeMixerTable() {
  if (eventFd_ >= 0) ::close(eventFd_);
}

int FakeMixerTable::AddElement(Element element) {
  std::lock_guard<std::mutex> lock(mutex_);
  element.raw.assign(element.channels, element.minimum);
  element.on.assign(element.channels, 1);
  elements_.push_back(std::move(element));
  return static_cast<int>(elements_.size()) - 1;
}

FakeMixerTable::Element FakeMixerTable::Get(int id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return elements_.at(id);
}

void FakeMixerTable::SetRaw(int id, int channel, long raw) {
  std::lock_guard<std::mutex> lock(mutex_);
  elements_.at(id).raw.at(channel) = raw;
}

void FakeMixerTable::SetSwitch(int id, int channel, int on) {
  std::lock_guard<std::mutex> lock(mutex_);
  elements_.at(id).on.at(channel) = on;
}

void FakeMixerTable::FailAccess(bool fail) {
  std::lock_guard<std::mutex> lock(mutex_);
  fail_ = fail;
}

int FakeMixerTable::VolumeWrites() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return volumeWrites_;
}

int FakeMixerTable::SwitchWrites() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return switchWrites_;
}

void FakeMixerTable::Notify() {
  const uint64_t one = 1;
  (void)::write(eventFd_, &one, sizeof one);
}

void FakeMixerTable::Lose() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lost_ = true;
  }
  Notify();
}

std::unique_ptr<Mixer> FakeMixerTable::OpenMixer() { return std::make_unique<FakeMixer>(this); }

}  // namespace acsound
