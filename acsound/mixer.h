// The sound mixer behind the volume slider and the sound button: a small
// interface over the platform mixer's elements, one file per backend
// (mixer_alsa.cpp for the ALSA simple mixer, mixer_fake.cpp for tests).
//
// A backend reports its elements and their raw values; it does not lock
// and does not scale. MixerDevice (mixer_device.h) serialises every call,
// maps the speakers and headphones lines onto elements, scales raw values
// onto 0..65535 and runs the change-notification thread.
#pragma once

#include <poll.h>

#include <memory>
#include <string>

namespace acsound {

// What the mixer says about one element (a named group of controls).
struct MixerElement {
  std::string name;
  bool playbackVolume = false;  // has a playback volume
  bool playbackSwitch = false;  // has a playback on/off switch (1 = sound on)
  int channels = 0;             // playback channels (1 for a mono element)
};

class Mixer {
 public:
  virtual ~Mixer() = default;

  // Elements are numbered 0..ElementCount()-1 in the mixer's order.
  virtual int ElementCount() const = 0;
  virtual bool Element(int id, MixerElement* out) const = 0;

  // The element's raw playback volume range and per-channel values; channel
  // runs from 0 to channels - 1. False on error.
  virtual bool VolumeRange(int id, long* minimum, long* maximum) = 0;
  virtual bool GetVolume(int id, int channel, long* raw) = 0;
  virtual bool SetVolume(int id, int channel, long raw) = 0;
  // The playback switch: on is 1 for sound on, 0 for muted.
  virtual bool GetSwitch(int id, int channel, int* on) = 0;
  virtual bool SetSwitchAll(int id, int on) = 0;

  // Change notifications: the descriptors to poll (at most `space`); their
  // number, or -1 on error.
  virtual int PollDescriptors(struct pollfd* fds, int space) = 0;
  // Called after poll returned with some of the descriptors ready. 1 when
  // something changed, 0 when nothing did, -1 when the mixer is gone (the
  // device was removed, the sound server ended).
  virtual int HandleEvents(struct pollfd* fds, int count) = 0;
};

// Opens the ALSA simple mixer on `device` ("default", "pulse", "hw:0", ...).
// Null when the device cannot be opened or has no elements; one line on
// stderr then says why.
std::unique_ptr<Mixer> OpenAlsaMixer(const std::string& device);

}  // namespace acsound
