// volumcontrol, mutecontrol and the mixer device on the table mixer: the
// slider rule, the line search, notifications, a lost mixer, failed reads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "acsound/fake_mixer.h"
#include "acsound/mutecontrol.h"
#include "acsound/volumcontrol.h"
#include "post_recorder.h"

namespace acsound {
namespace {

using Element = FakeMixerTable::Element;

Element Make(const char* name, bool volume, bool sw, int channels = 2, long minimum = 0, long maximum = 65535) {
  Element e;
  e.name = name;
  e.hasVolume = volume;
  e.hasSwitch = sw;
  e.channels = channels;
  e.minimum = minimum;
  e.maximum = maximum;
  return e;
}

class MixerFakeTest : public ::testing::Test {
 protected:
  std::shared_ptr<MixerDevice> OpenDevice() { return MixerDevice::Adopt(table_.OpenMixer(), &posts_); }

  FakeMixerTable table_;
  test::PostRecorder posts_;
};

TEST_F(MixerFakeTest, VolumeSliderRuleOnFullRange) {
  const int master = table_.AddElement(Make("Master", true, true));
  volumcontrol volume;
  ASSERT_TRUE(volume.Init(OpenDevice(), kDstSpeakers, -1, kControlVolume));
  EXPECT_EQ(volume.GetMinimum(), 0u);
  EXPECT_EQ(volume.GetMaximum(), 65535u);
  EXPECT_EQ(volume.SliderMinimum(), 0);
  EXPECT_EQ(volume.SliderMaximum(), 127);

  ASSERT_TRUE(volume.WriteSliderPosition(64));
  EXPECT_EQ(table_.Get(master).raw, (std::vector<long>{32768, 32768}));
  ASSERT_TRUE(volume.WriteSliderPosition(127));
  EXPECT_EQ(table_.Get(master).raw, (std::vector<long>{65024, 65024}));
  ASSERT_TRUE(volume.WriteSliderPosition(0));
  EXPECT_EQ(table_.Get(master).raw, (std::vector<long>{0, 0}));

  // The louder channel gives the position; +1 after a notification.
  table_.SetRaw(master, 0, 1000);
  table_.SetRaw(master, 1, 32767);
  int pos = -1;
  ASSERT_TRUE(volume.ReadSliderPosition(false, &pos));
  EXPECT_EQ(pos, 63);
  ASSERT_TRUE(volume.ReadSliderPosition(true, &pos));
  EXPECT_EQ(pos, 64);
  // The top stays on the slider.
  table_.SetRaw(master, 1, 65535);
  ASSERT_TRUE(volume.ReadSliderPosition(true, &pos));
  EXPECT_EQ(pos, 127);
  uint32_t left = 0, right = 0;
  EXPECT_EQ(volume.GetValue(&left, &right), 1);
  EXPECT_EQ(left, 1000u);
  EXPECT_EQ(right, 65535u);
}

TEST_F(MixerFakeTest, VolumeOutsideChangeIsNotifiedAndReadAfterChange) {
  const int master = table_.AddElement(Make("Master", true, true));
  auto device = OpenDevice();
  volumcontrol volume;
  ASSERT_TRUE(volume.Init(device, kDstSpeakers, -1, kControlVolume));
  ASSERT_TRUE(device->StartNotifications());
  EXPECT_FALSE(device->StartNotifications());  // one thread

  table_.SetRaw(master, 0, 32767);
  table_.SetRaw(master, 1, 32767);
  int pos = -1;
  ASSERT_TRUE(volume.ReadSliderPosition(false, &pos));
  EXPECT_EQ(pos, 63);  // at start

  const size_t before = posts_.Count();
  table_.Notify();
  ASSERT_TRUE(posts_.WaitMoreThan(before, 5000));
  EXPECT_TRUE(posts_.AllAre(media::WM_MIXER_VOLUME));
  EXPECT_EQ(posts_.LastWParam(), device->Handle());
  ASSERT_TRUE(volume.ReadSliderPosition(true, &pos));
  EXPECT_EQ(pos, 64);  // after the notification
  EXPECT_TRUE(device->Close());
}

TEST_F(MixerFakeTest, VolumeMonoLineWritesLeftOnly) {
  const int pcm = table_.AddElement(Make("PCM", true, false, 1));
  volumcontrol volume;
  ASSERT_TRUE(volume.Init(OpenDevice(), kDstSpeakers, -1, kControlVolume));
  EXPECT_EQ(volume.Channels(), 1);
  ASSERT_EQ(volume.SetValue(10 << 9, 20 << 9), 1);
  EXPECT_EQ(table_.VolumeWrites(), 1);
  EXPECT_EQ(table_.Get(pcm).raw, std::vector<long>{5120});
  uint32_t left = 0, right = 99;
  ASSERT_EQ(volume.GetValue(&left, &right), 1);
  EXPECT_EQ(left, 5120u);
  EXPECT_EQ(right, 0u);
}

TEST_F(MixerFakeTest, VolumeCoarseAndOffsetRawRangesStillSpanTheSlider) {
  struct Case {
    long minimum, maximum;
    long rawAt127;  // 65024 scaled onto the range
  };
  for (const Case c : {Case{0, 87, 86}, Case{-10239, 400, 317}, Case{0, 65536, 65025}, Case{3, 4, 4}}) {
    SCOPED_TRACE(std::to_string(c.minimum) + ".." + std::to_string(c.maximum));
    FakeMixerTable table;
    const int master = table.AddElement(Make("Master", true, true, 2, c.minimum, c.maximum));
    volumcontrol volume;
    ASSERT_TRUE(volume.Init(MixerDevice::Adopt(table.OpenMixer(), nullptr), kDstSpeakers, -1, kControlVolume));
    EXPECT_EQ(volume.SliderMinimum(), 0);
    EXPECT_EQ(volume.SliderMaximum(), 127);
    int pos = -1;
    table.SetRaw(master, 0, c.maximum);
    table.SetRaw(master, 1, c.maximum);
    ASSERT_TRUE(volume.ReadSliderPosition(false, &pos));
    EXPECT_EQ(pos, 127);
    table.SetRaw(master, 0, c.minimum);
    table.SetRaw(master, 1, c.minimum);
    ASSERT_TRUE(volume.ReadSliderPosition(false, &pos));
    EXPECT_EQ(pos, 0);
    ASSERT_TRUE(volume.WriteSliderPosition(127));
    EXPECT_EQ(table.Get(master).raw[0], c.rawAt127);
    ASSERT_TRUE(volume.WriteSliderPosition(0));
    EXPECT_EQ(table.Get(master).raw[1], c.minimum);
    // Every position written reads back where it was put; where the raw
    // range is coarser than the levels, the slider still never runs back.
    int previous = 0;
    for (int p = 0; p <= 127; ++p) {
      ASSERT_TRUE(volume.WriteSliderPosition(p));
      ASSERT_TRUE(volume.ReadSliderPosition(true, &pos));
      if (c.maximum - c.minimum >= 65535) {
        EXPECT_EQ(pos, p);
      }
      EXPECT_GE(pos, previous) << "position " << p;
      previous = pos;
    }
  }
}

TEST_F(MixerFakeTest, ScalingRoundsToNearest) {
  EXPECT_EQ(RawToLevel(0, 0, 65536), 0u);
  EXPECT_EQ(RawToLevel(65536, 0, 65536), 65535u);
  EXPECT_EQ(RawToLevel(20000, 0, 65536), 20000u);  // 19999.69
  EXPECT_EQ(RawToLevel(44, 0, 87), 33144u);          // 33143.79
  EXPECT_EQ(RawToLevel(-5, 0, 87), 0u);               // clamped
  EXPECT_EQ(RawToLevel(5, 5, 5), 0u);                 // empty range
  EXPECT_EQ(LevelToRaw(32768, 0, 87), 44);            // 43.50
  EXPECT_EQ(LevelToRaw(65024, 0, 65536), 65025);      // 65024.99
  EXPECT_EQ(LevelToRaw(70000, -100, 100), 100);       // clamped
  EXPECT_EQ(LevelToRaw(0, -100, 100), -100);
}

// Volume and mute are each looked for on their own: a speakers element
// with a volume but no switch still drives the slider, and the mute comes
// from the next element that has a switch.
TEST_F(MixerFakeTest, VolumeAndMuteLinesAreSearchedEachOnTheirOwn) {
  table_.AddElement(Make("Capture", false, false, 0));
  const int pcm = table_.AddElement(Make("PCM", true, true));
  const int master = table_.AddElement(Make("Master", true, false));
  const int headphone = table_.AddElement(Make("Headphone", true, false));
  auto device = OpenDevice();

  volumcontrol volume;
  ASSERT_TRUE(volume.Init(device, kDstSpeakers, -1, kControlVolume));
  EXPECT_EQ(volume.ControlName(), "Master");
  mutecontrol mute;
  ASSERT_EQ(mute.Init(device, kDstSpeakers, -1), mutecontrol::kOk);
  ASSERT_EQ(mute.SetMute(1), 1);
  EXPECT_EQ(table_.Get(pcm).on, (std::vector<int>{0, 0}));
  ASSERT_TRUE(volume.WriteSliderPosition(10));
  EXPECT_EQ(table_.Get(master).raw[0], 5120);
  EXPECT_EQ(table_.Get(pcm).raw[0], 0);

  volumcontrol phones;
  ASSERT_TRUE(phones.Init(device, kDstHeadphones, -1, kControlVolume));
  EXPECT_EQ(phones.ControlName(), "Headphone");
  ASSERT_TRUE(phones.WriteSliderPosition(3));
  EXPECT_EQ(table_.Get(headphone).raw[1], 1536);
  mutecontrol phonesMute;
  EXPECT_EQ(phonesMute.Init(device, kDstHeadphones, -1), mutecontrol::kNoMuteControl);
  EXPECT_EQ(phonesMute.GetMute(), -1);
}

TEST_F(MixerFakeTest, MixerLineSearchOrderAndFailures) {
  struct Case {
    std::vector<Element> elements;
    const char* volumeName;  // nullptr: not found
    int muteResult;
  };
  const Case cases[] = {
      // Master before Speaker before PCM, whatever the mixer's order.
      {{Make("PCM", true, true), Make("Speaker", true, true), Make("Master", true, true)}, "Master", mutecontrol::kOk},
      {{Make("PCM", true, true), Make("Speaker", true, true)}, "Speaker", mutecontrol::kOk},
      // Then any playback element.
      {{Make("Capture", false, false, 0), Make("Front", true, false)}, "Front", mutecontrol::kNoMuteControl},
      // A speakers line with a switch only: mute works, the slider does not.
      {{Make("Master", false, true)}, nullptr, mutecontrol::kOk},
      // Nothing that plays.
      {{Make("Capture", false, false, 0)}, nullptr, mutecontrol::kNoLine},
  };
  for (const Case& c : cases) {
    FakeMixerTable table;
    for (const Element& e : c.elements) table.AddElement(e);
    auto device = MixerDevice::Adopt(table.OpenMixer(), nullptr);
    volumcontrol volume;
    SCOPED_TRACE(c.volumeName ? c.volumeName : "(none)");
    EXPECT_EQ(volume.Init(device, kDstSpeakers, -1, kControlVolume), c.volumeName != nullptr);
    if (c.volumeName) {
      EXPECT_EQ(volume.ControlName(), c.volumeName);
    }
    mutecontrol mute;
    EXPECT_EQ(mute.Init(device, kDstSpeakers, -1), c.muteResult);
    EXPECT_EQ(mute.Init(device, kDstHeadphones, -1), mutecontrol::kNoLine);
    EXPECT_FALSE(volume.Init(device, kDstHeadphones, -1, kControlVolume));
  }
  // No mixer at all, a source line, a closed device.
  mutecontrol mute;
  volumcontrol volume;
  EXPECT_EQ(mute.Init(nullptr, kDstSpeakers, -1), mutecontrol::kNoMixer);
  EXPECT_FALSE(volume.Init(nullptr, kDstSpeakers, -1, kControlVolume));
  table_.AddElement(Make("Master", true, true));
  auto device = OpenDevice();
  EXPECT_FALSE(volume.Init(device, kDstSpeakers, 2, kControlVolume));
  EXPECT_EQ(mute.Init(device, kDstSpeakers, 2), mutecontrol::kNoLine);
  device->Close();
  EXPECT_EQ(mute.Init(device, kDstSpeakers, -1), mutecontrol::kOpenFailed);
  EXPECT_FALSE(volume.Init(device, kDstSpeakers, -1, kControlVolume));
}

TEST_F(MixerFakeTest, MuteSetsEverySwitchAndFollowsOutsideChanges) {
  const int master = table_.AddElement(Make("Master", true, true));
  auto device = OpenDevice();
  mutecontrol mute;
  ASSERT_EQ(mute.Init(device, kDstSpeakers, -1), mutecontrol::kOk);
  EXPECT_EQ(mute.GetMute(), 0);
  ASSERT_EQ(mute.SetMute(1), 1);
  EXPECT_EQ(table_.Get(master).on, (std::vector<int>{0, 0}));
  EXPECT_EQ(mute.GetMute(), 1);
  ASSERT_EQ(mute.SetMute(0), 1);
  EXPECT_EQ(table_.Get(master).on, (std::vector<int>{1, 1}));
  // Muted elsewhere: read as muted.
  table_.SetSwitch(master, 0, 0);
  table_.SetSwitch(master, 1, 0);
  EXPECT_EQ(mute.GetMute(), 1);
  mute.Close();
  EXPECT_EQ(mute.GetMute(), -1);
  EXPECT_EQ(mute.SetMute(1), -1);
}

// A read that fails leaves the caller's position as it was.
TEST_F(MixerFakeTest, VolumeFailedReadLeavesPositionAlone) {
  const int master = table_.AddElement(Make("Master", true, true));
  volumcontrol volume;
  mutecontrol mute;
  auto device = OpenDevice();
  ASSERT_TRUE(volume.Init(device, kDstSpeakers, -1, kControlVolume));
  ASSERT_EQ(mute.Init(device, kDstSpeakers, -1), mutecontrol::kOk);
  table_.SetRaw(master, 0, 65535);
  table_.FailAccess(true);
  int pos = 42;
  uint32_t left = 7, right = 7;
  EXPECT_FALSE(volume.ReadSliderPosition(true, &pos));
  EXPECT_EQ(pos, 42);
  EXPECT_EQ(volume.GetValue(&left, &right), -1);
  EXPECT_EQ(left, 7u);
  EXPECT_FALSE(volume.WriteSliderPosition(5));
  EXPECT_EQ(mute.GetMute(), -1);
  table_.FailAccess(false);
  EXPECT_TRUE(volume.ReadSliderPosition(true, &pos));
  EXPECT_EQ(pos, 127);
}

// The mixer goes away: one last notification, the device closes and its
// thread ends; reads fail from then on.
TEST_F(MixerFakeTest, MixerLostClosesDeviceAndEndsThread) {
  table_.AddElement(Make("Master", true, true));
  auto device = OpenDevice();
  volumcontrol volume;
  mutecontrol mute;
  ASSERT_TRUE(volume.Init(device, kDstSpeakers, -1, kControlVolume));
  ASSERT_EQ(mute.Init(device, kDstSpeakers, -1), mutecontrol::kOk);
  ASSERT_TRUE(device->StartNotifications());
  const size_t before = posts_.Count();
  table_.Lose();
  ASSERT_TRUE(posts_.WaitMoreThan(before, 5000));
  // The post comes after the close, so the device is already closed.
  EXPECT_FALSE(device->IsOpen());
  EXPECT_FALSE(volume.IsOpen());
  EXPECT_FALSE(mute.IsOpen());
  int pos = 9;
  EXPECT_FALSE(volume.ReadSliderPosition(true, &pos));
  EXPECT_EQ(mute.GetMute(), -1);
  // The thread has ended rather than spinning on the dead descriptor.
  EXPECT_TRUE(device->Close());
  EXPECT_FALSE(device->NotifierRunning());
  EXPECT_EQ(posts_.Count(), before + 1);
  EXPECT_FALSE(device->StartNotifications());
}

// Calls from the window's thread and the notification thread share the
// device; Close ends the thread within its bounded wait while both run.
TEST_F(MixerFakeTest, MixerCallsAndNotificationsFromSeveralThreads) {
  const int master = table_.AddElement(Make("Master", true, true));
  auto device = OpenDevice();
  volumcontrol volume;
  mutecontrol mute;
  ASSERT_TRUE(volume.Init(device, kDstSpeakers, -1, kControlVolume));
  ASSERT_EQ(mute.Init(device, kDstSpeakers, -1), mutecontrol::kOk);
  ASSERT_TRUE(device->StartNotifications());
  std::atomic<bool> stop{false};
  std::thread outside([&] {
    for (long v = 0; !stop.load(); v = (v + 977) % 65536) {
      table_.SetRaw(master, 0, v);
      table_.Notify();
      std::this_thread::yield();
    }
  });
  int pos = 0;
  for (int i = 0; i < 2000; ++i) {
    ASSERT_TRUE(volume.WriteSliderPosition(i % 128));
    ASSERT_TRUE(volume.ReadSliderPosition(true, &pos));
    ASSERT_EQ(mute.SetMute(i & 1), 1);
  }
  ASSERT_TRUE(posts_.WaitMoreThan(0, 5000));
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(device->Close());
  const auto closeUs = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
  stop.store(true);
  outside.join();
  EXPECT_FALSE(device->NotifierRunning());
  RecordProperty("close_us", static_cast<int>(closeUs.count()));
  std::printf("mixer: Close took %lld us\n", static_cast<long long>(closeUs.count()));
}

}  // namespace
}  // namespace acsound
