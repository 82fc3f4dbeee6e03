// The mixer on ALSA's simple mixer interface (snd_mixer / selem).
#include <alsa/asoundlib.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

#include "acsound/mixer.h"
#include "media/ac_log.h"

namespace acsound {

namespace {

// ALSA prints its own errors to stderr from deep inside the library (an
// absent card, a sound server that does not answer); we say what failed in
// one line of our own instead.
void QuietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

struct MixerCloser {
  void operator()(snd_mixer_t* m) const { snd_mixer_close(m); }
};
using MixerHandle = std::unique_ptr<snd_mixer_t, MixerCloser>;

class AlsaMixer final : public Mixer {
 public:
  struct Entry {
    snd_mixer_elem_t* elem;
    MixerElement info;
    // The ALSA channel of each of our channels (front left, front right, ...).
    std::vector<snd_mixer_selem_channel_id_t> channelIds;
  };

  AlsaMixer(MixerHandle handle, std::vector<Entry> entries)
      : handle_(std::move(handle)), entries_(std::move(entries)) {}

  int ElementCount() const override { return static_cast<int>(entries_.size()); }

  bool Element(int id, MixerElement* out) const override {
    if (!Valid(id)) return false;
    *out = entries_[id].info;
    return true;
  }

  bool VolumeRange(int id, long* minimum, long* maximum) override {
    if (!Valid(id) || !entries_[id].info.playbackVolume) return false;
    return snd_mixer_selem_get_playback_volume_range(entries_[id].elem, minimum, maximum) == 0;
  }

  bool GetVolume(int id, int channel, long* raw) override {
    if (!ValidChannel(id, channel) || !entries_[id].info.playbackVolume) return false;
    return snd_mixer_selem_get_playback_volume(entries_[id].elem, entries_[id].channelIds[channel], raw) == 0;
  }

  bool SetVolume(int id, int channel, long raw) override {
    if (!ValidChannel(id, channel) || !entries_[id].info.playbackVolume) return false;
    return snd_mixer_selem_set_playback_volume(entries_[id].elem, entries_[id].channelIds[channel], raw) == 0;
  }

  bool GetSwitch(int id, int channel, int* on) override {
    if (!ValidChannel(id, channel) || !entries_[id].info.playbackSwitch) return false;
    return snd_mixer_selem_get_playback_switch(entries_[id].elem, entries_[id].channelIds[channel], on) == 0;
  }

  bool SetSwitchAll(int id, int on) override {
    if (!Valid(id) || !entries_[id].info.playbackSwitch) return false;
    return snd_mixer_selem_set_playback_switch_all(entries_[id].elem, on ? 1 : 0) == 0;
  }

  int PollDescriptors(struct pollfd* fds, int space) override {
    const int n = snd_mixer_poll_descriptors_count(handle_.get());
    if (n < 0 || n > space) return -1;
    return snd_mixer_poll_descriptors(handle_.get(), fds, static_cast<unsigned>(n));
  }

  int HandleEvents(struct pollfd* fds, int count) override {
    unsigned short revents = 0;
    if (snd_mixer_poll_descriptors_revents(handle_.get(), fds, static_cast<unsigned>(count), &revents) < 0)
      return -1;
    if (revents & (POLLERR | POLLHUP | POLLNVAL)) return -1;
    // The pulse plugin keeps its descriptor readable once the server has
    // gone; handling the events then fails, which is how its loss shows.
    const int handled = snd_mixer_handle_events(handle_.get());
    if (handled < 0) return -1;
    return handled > 0 ? 1 : 0;
  }

 private:
  bool Valid(int id) const { return id >= 0 && id < static_cast<int>(entries_.size()); }
  bool ValidChannel(int id, int channel) const {
    return Valid(id) && channel >= 0 && channel < static_cast<int>(entries_[id].channelIds.size());
  }

  MixerHandle handle_;
  std::vector<Entry> entries_;
};

}  // namespace

std::unique_ptr<Mixer> OpenAlsaMixer(const std::string& device) {
  static std::once_flag quiet;
  std::call_once(quiet, [] { snd_lib_error_set_handler(QuietAlsaErrors); });

  snd_mixer_t* raw = nullptr;
  int err = snd_mixer_open(&raw, 0);
  if (err < 0) {
    media::LogLine(media::LogLevel::kError, "mixer", "cannot open a mixer: %s", snd_strerror(err));
    return nullptr;
  }
  MixerHandle handle(raw);
  const char* step = "attach";
  if ((err = snd_mixer_attach(raw, device.c_str())) >= 0) {
    step = "register";
    if ((err = snd_mixer_selem_register(raw, nullptr, nullptr)) >= 0) {
      step = "load";
      err = snd_mixer_load(raw);
    }
  }
  if (err < 0) {
    media::LogLine(media::LogLevel::kError, "mixer", "\"%s\": %s failed: %s", device.c_str(), step, snd_strerror(err));
    return nullptr;
  }

  std::vector<AlsaMixer::Entry> entries;
  for (snd_mixer_elem_t* e = snd_mixer_first_elem(raw); e; e = snd_mixer_elem_next(e)) {
    if (!snd_mixer_selem_is_active(e)) continue;
    AlsaMixer::Entry entry{e, {}, {}};
    entry.info.name = snd_mixer_selem_get_name(e);
    entry.info.playbackVolume = snd_mixer_selem_has_playback_volume(e) != 0;
    entry.info.playbackSwitch = snd_mixer_selem_has_playback_switch(e) != 0;
    if (snd_mixer_selem_is_playback_mono(e)) {
      entry.channelIds.push_back(SND_MIXER_SCHN_MONO);
    } else {
      for (int c = 0; c <= SND_MIXER_SCHN_LAST; ++c) {
        const auto ch = static_cast<snd_mixer_selem_channel_id_t>(c);
        if (snd_mixer_selem_has_playback_channel(e, ch)) entry.channelIds.push_back(ch);
      }
    }
    entry.info.channels = static_cast<int>(entry.channelIds.size());
    entries.push_back(std::move(entry));
  }
  if (entries.empty()) {
    media::LogLine(media::LogLevel::kError, "mixer", "\"%s\" has no controls", device.c_str());
    return nullptr;
  }
  return std::make_unique<AlsaMixer>(std::move(handle), std::move(entries));
}

}  // namespace acsound
