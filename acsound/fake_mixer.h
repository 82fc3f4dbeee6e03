// A mixer made of a table, for tests: elements with names, raw ranges and
// values, and change notifications that the test raises by hand.
//
// The table is shared between the test and the backend (which the
// MixerDevice owns and may close at any time), and guards itself.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "acsound/mixer.h"

namespace acsound {

class FakeMixerTable {
 public:
  struct Element {
    std::string name;
    bool hasVolume = true;
    bool hasSwitch = true;
    int channels = 2;
    long minimum = 0;
    long maximum = 65535;
    std::vector<long> raw;  // per channel; sized by AddElement
    std::vector<int> on;    // per channel switch, 1 = sound on
  };

  FakeMixerTable();
  ~FakeMixerTable();
  FakeMixerTable(const FakeMixerTable&) = delete;
  FakeMixerTable& operator=(const FakeMixerTable&) = delete;

  // Adds an element (raw values at the minimum, switches on); its id.
  int AddElement(Element element);
  Element Get(int id) const;
  void SetRaw(int id, int channel, long raw);
  void SetSwitch(int id, int channel, int on);
  // Makes every read and write fail (or work again).
  void FailAccess(bool fail);
  // Counts of writes through the backend.
  int VolumeWrites() const;
  int SwitchWrites() const;

  // Tells the mixer's listener that something changed.
  void Notify();
  // The mixer goes away: its descriptor reports a hang-up from now on.
  void Lose();

  // A backend on this table (the table must outlive it).
  std::unique_ptr<Mixer> OpenMixer();

 private:
  friend class FakeMixer;
  mutable std::mutex mutex_;
  std::vector<Element> elements_;  // guarded by mutex_
  bool fail_ = false;              // guarded by mutex_
  bool lost_ = false;              // guarded by mutex_
  int volumeWrites_ = 0;           // guarded by mutex_
  int switchWrites_ = 0;           // guarded by mutex_
  // Readable while a notification is pending; written by Notify and Lose.
  int eventFd_ = -1;
};

}  // namespace acsound
