// A private PulseAudio daemon with one null sink ("corvane_null"), for the
// mixer tests: its own 0700 folder serves as HOME and XDG_RUNTIME_DIR (set
// in this process too, so that libpulse and the ALSA pulse plugin find it),
// an ALSA configuration there makes "default" the pulse plugin, and pactl
// runs against it. The daemon dies with the test: the destructor kills it
// by its PID, and the kernel kills it if the test process ends first.
#pragma once

#include <sys/types.h>

#include <string>

namespace acsound::test {

class PulseDaemon {
 public:
  PulseDaemon();  // makes the folder and sets the environment; no daemon yet
  ~PulseDaemon();
  PulseDaemon(const PulseDaemon&) = delete;
  PulseDaemon& operator=(const PulseDaemon&) = delete;

  // Starts the daemon and waits (at most 10 s) until it answers. False
  // when it does not start; Log() then says why.
  bool Start();
  // Kills the daemon (SIGKILL) and reaps it.
  void Kill();
  bool Running() const { return pid_ > 0; }

  // Runs `pactl ARGS` in the daemon's environment; its exit status, with
  // its standard output in *out when given.
  int Pactl(const std::string& args, std::string* out = nullptr) const;
  // The sink's raw volume of channel 0 (-1 on failure) and its mute (-1 on failure).
  long SinkVolume() const;
  int SinkMute() const;

  const std::string& Folder() const { return folder_; }
  std::string Log() const;

 private:
  struct SavedVariable {
    const char* name;
    bool set;
    std::string value;
  };
  std::string folder_;  // ends with '/'
  pid_t pid_ = -1;
  // The environment as it was, put back by the destructor.
  SavedVariable saved_[4];
};

}  // namespace acsound::test
