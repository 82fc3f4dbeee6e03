// The ALSA mixer against a private PulseAudio daemon's null sink, seen from
// outside through pactl: slider positions become sink volumes, outside
// changes come back as notifications, the mute switch both ways, and the
// daemon's end closes the mixer.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>

#include "acsound/mutecontrol.h"
#include "acsound/volumcontrol.h"
#include "post_recorder.h"
#include "pulse_daemon.h"

namespace acsound {
namespace {

// How long a test waits for a notification that takes milliseconds when
// the machine is idle; the figures are printed, not asserted.
constexpr int kSettleMs = 5000;

class MixerPulseTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(daemon_.Start()) << daemon_.Log(); }

  // The mixer on "default" with both controls of the speakers line.
  void OpenControls() {
    device_ = MixerDevice::Open("default", &posts_);
    ASSERT_NE(device_, nullptr);
    ASSERT_TRUE(volume_.Init(device_, kDstSpeakers, -1, kControlVolume));
    ASSERT_EQ(mute_.Init(device_, kDstSpeakers, -1), mutecontrol::kOk);
    ASSERT_TRUE(device_->StartNotifications());
  }

  void TearDown() override {
    if (device_) device_->Close();
  }

  test::PulseDaemon daemon_;
  test::PostRecorder posts_;
  std::shared_ptr<MixerDevice> device_;
  volumcontrol volume_;
  mutecontrol mute_;
};

TEST_F(MixerPulseTest, VolumeSliderPositionsSetTheSinkVolume) {
  OpenControls();
  EXPECT_EQ(volume_.ControlName(), "Master");
  EXPECT_EQ(volume_.Channels(), 2);
  EXPECT_EQ(volume_.SliderMaximum(), 127);
  for (int p : {0, 64, 127}) {
    SCOPED_TRACE(p);
    ASSERT_TRUE(volume_.WriteSliderPosition(p));
    const double expected = p * 512.0 * 65536.0 / 65535.0;
    EXPECT_LE(std::fabs(daemon_.SinkVolume() - expected), 1.0) << daemon_.SinkVolume();
    int pos = -1;
    ASSERT_TRUE(volume_.ReadSliderPosition(true, &pos));
    EXPECT_EQ(pos, p);
  }
}

TEST_F(MixerPulseTest, VolumeChangedByPactlIsNotified) {
  OpenControls();
  // The first notification may be the plugin's own at start; wait for quiet.
  posts_.WaitMoreThan(posts_.Count(), 200);
  const size_t before = posts_.Count();
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(daemon_.Pactl("set-sink-volume corvane_null 20000"), 0);
  ASSERT_TRUE(posts_.WaitMoreThan(before, kSettleMs));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
  std::printf("mixer: pactl change to notification %lld ms (pactl run included)\n", static_cast<long long>(ms.count()));
  EXPECT_EQ(posts_.LastWParam(), device_->Handle());
  int pos = -1;
  ASSERT_TRUE(volume_.ReadSliderPosition(true, &pos));
  EXPECT_EQ(pos, 39);
  // Reading wrote nothing back.
  EXPECT_EQ(daemon_.SinkVolume(), 20000);
}

TEST_F(MixerPulseTest, MuteBothWaysAndFromOutside) {
  OpenControls();
  EXPECT_EQ(mute_.GetMute(), 0);
  ASSERT_EQ(mute_.SetMute(1), 1);
  EXPECT_EQ(daemon_.SinkMute(), 1);
  ASSERT_EQ(mute_.SetMute(0), 1);
  EXPECT_EQ(daemon_.SinkMute(), 0);

  for (int muted : {1, 0}) {
    posts_.WaitMoreThan(posts_.Count(), 200);
    const size_t before = posts_.Count();
    ASSERT_EQ(daemon_.Pactl("set-sink-mute corvane_null " + std::to_string(muted)), 0);
    ASSERT_TRUE(posts_.WaitMoreThan(before, kSettleMs));
    EXPECT_EQ(mute_.GetMute(), muted);
  }
}

TEST_F(MixerPulseTest, MuteSetBeforeStartIsRead) {
  ASSERT_EQ(daemon_.Pactl("set-sink-mute corvane_null 1"), 0);
  OpenControls();
  EXPECT_EQ(mute_.GetMute(), 1);
}

// The sound server ends: the device closes, says so once, and its thread
// ends instead of spinning on the dead connection.
TEST_F(MixerPulseTest, MixerLostWhenDaemonKilled) {
  OpenControls();
  posts_.WaitMoreThan(posts_.Count(), 200);
  const size_t before = posts_.Count();
  const auto t0 = std::chrono::steady_clock::now();
  daemon_.Kill();
  ASSERT_TRUE(posts_.WaitMoreThan(before, kSettleMs));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0);
  std::printf("mixer: daemon killed to mixer closed %lld ms\n", static_cast<long long>(ms.count()));
  EXPECT_FALSE(device_->IsOpen());
  EXPECT_EQ(mute_.GetMute(), -1);
  uint32_t left = 0, right = 0;
  EXPECT_EQ(volume_.GetValue(&left, &right), -1);
  EXPECT_FALSE(posts_.WaitMoreThan(before + 1, 300));  // no more posts
  EXPECT_FALSE(device_->NotifierRunning());
}

TEST_F(MixerPulseTest, MixerClosesWithinItsBoundedWait) {
  OpenControls();
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(device_->Close());
  const auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0);
  std::printf("mixer: Close on the pulse mixer took %lld us\n", static_cast<long long>(us.count()));
  EXPECT_FALSE(device_->NotifierRunning());
  EXPECT_FALSE(device_->IsOpen());
}

// No daemon: "default" (the pulse plugin here) and a device that does not
// exist both fail to open, quietly apart from one line.
TEST(MixerNoDeviceTest, MixerAbsentWithoutDaemonOrDevice) {
  test::PulseDaemon environment;  // its folder and configuration, no daemon
  test::PostRecorder posts;
  EXPECT_EQ(MixerDevice::Open("default", &posts), nullptr);
  EXPECT_EQ(MixerDevice::Open("corvane_no_such_device", &posts), nullptr);
  EXPECT_EQ(MixerDevice::Open("hw:97", &posts), nullptr);
  mutecontrol mute;
  EXPECT_EQ(mute.Init(nullptr, kDstSpeakers, -1), mutecontrol::kNoMixer);
  EXPECT_EQ(posts.Count(), 0u);
}

}  // namespace
}  // namespace acsound
