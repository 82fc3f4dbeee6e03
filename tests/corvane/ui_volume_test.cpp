// The volume slider and the sound button of the real window on a private
// PulseAudio daemon's null sink (through the ALSA pulse plugin), checked
// from outside with pactl; and the window without any mixer.
#include <QMessageBox>
#include <chrono>
#include <cmath>

#include "acsound/mixer_device.h"
#include "controls/picture_button.h"
#include "pulse_daemon.h"
#include "ui_test_util.h"

namespace corvane::uitest {
namespace {

bool MessageBoxShown() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<QMessageBox*>(w)) return true;
  return false;
}

// How long a test waits for something that takes milliseconds when the
// machine is idle; the figures are printed, not asserted.
constexpr int kSettleMs = 5000;

class VolumeWindowTest : public WindowFixture {
 protected:
  void SetUp() override {
    noWindow_ = true;
    WindowFixture::SetUp();
  }
  // Starts the daemon and opens the window on "default" (the pulse plugin).
  void OpenOnDaemon() {
    ASSERT_TRUE(daemon_.Start()) << daemon_.Log();
    mixerDevice_ = "default";
    OpenWindow(false);
    ASSERT_NE(dlg()->mixer(), nullptr);
  }
  // Clicks the volume slider at position p.
  void ClickSlider(int p) {
    controls::CBitmapSlider* s = dlg()->volumeSlider();
    QTest::mouseClick(s, Qt::LeftButton, {}, QPoint(s->XForPos(p), s->height() / 2));
  }
  bool ControlsEnabled() { return dlg()->volumeSlider()->isEnabled() || button(CCorvaneDlg::IDC_MUTE)->isEnabled(); }
  void ExpectNoMixer() {
    EXPECT_EQ(dlg()->mixer(), nullptr);
    EXPECT_FALSE(dlg()->volumeSlider()->isEnabled());
    EXPECT_FALSE(button(CCorvaneDlg::IDC_MUTE)->isEnabled());
    EXPECT_FALSE(dlg()->volumeSlider()->toolTip().isEmpty());
    EXPECT_FALSE(button(CCorvaneDlg::IDC_MUTE)->toolTip().isEmpty());
    EXPECT_FALSE(MessageBoxShown());
    // A click on the disabled button changes nothing.
    const bool muted = dlg()->muted();
    Click(CCorvaneDlg::IDC_MUTE);
    Pump(50);
    EXPECT_EQ(dlg()->muted(), muted);
  }

  acsound::test::PulseDaemon daemon_;  // sets the environment; started by OpenOnDaemon
};

TEST_F(VolumeWindowTest, NoMixerDisablesVolumeAndMute) {
  OpenWindow(false);
  ExpectNoMixer();
}

TEST_F(VolumeWindowTest, MixerMissingDisablesVolumeAndMute) {
  // No daemon behind "default", then a device that does not exist.
  for (const char* device : {"default", "corvane_no_such_device"}) {
    SCOPED_TRACE(device);
    mixerDevice_ = device;
    OpenWindow(false);
    ExpectNoMixer();
    CloseWindow();
  }
}

TEST_F(VolumeWindowTest, VolumeSliderAndMuteButtonDriveTheSink) {
  OpenOnDaemon();
  controls::CBitmapSlider* slider = dlg()->volumeSlider();
  EXPECT_TRUE(slider->isEnabled());
  EXPECT_EQ(slider->Minimum(), 0);
  EXPECT_EQ(slider->Maximum(), 127);
  EXPECT_EQ(slider->Pos(), 127);  // the sink starts at 100 %
  for (int p : {0, 64, 127}) {
    SCOPED_TRACE(p);
    ClickSlider(p);
    ASSERT_EQ(slider->Pos(), p);
    const double expected = p * 512.0 * 65536.0 / 65535.0;
    EXPECT_TRUE(WaitUntil([&] { return std::fabs(daemon_.SinkVolume() - expected) <= 1.0; }, kSettleMs))
        << daemon_.SinkVolume();
  }

  EXPECT_FALSE(dlg()->muted());
  Click(CCorvaneDlg::IDC_MUTE);
  EXPECT_TRUE(dlg()->muted());
  EXPECT_EQ(daemon_.SinkMute(), 1);
  Click(CCorvaneDlg::IDC_MUTE);
  EXPECT_FALSE(dlg()->muted());
  EXPECT_EQ(daemon_.SinkMute(), 0);
}

TEST_F(VolumeWindowTest, VolumeAndMuteFollowPactl) {
  OpenOnDaemon();
  Pump(100);  // the plugin's first notification
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_EQ(daemon_.Pactl("set-sink-volume corvane_null 20000"), 0);
  EXPECT_TRUE(WaitUntil([&] { return dlg()->volumeSlider()->Pos() == 39; }, kSettleMs)) << dlg()->volumeSlider()->Pos();
  std::printf("volume: pactl to slider %lld ms (pactl run included)\n",
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count()));
  Pump(100);
  EXPECT_EQ(daemon_.SinkVolume(), 20000);  // nothing written back

  for (int muted : {1, 0}) {
    ASSERT_EQ(daemon_.Pactl("set-sink-mute corvane_null " + std::to_string(muted)), 0);
    EXPECT_TRUE(WaitUntil([&] { return dlg()->muted() == (muted == 1); }, kSettleMs)) << muted;
  }
}

TEST_F(VolumeWindowTest, VolumeSliderKeptWhileDragged) {
  OpenOnDaemon();
  controls::CBitmapSlider* slider = dlg()->volumeSlider();
  const QPoint at(slider->XForPos(100), slider->height() / 2);
  QTest::mousePress(slider, Qt::LeftButton, {}, at);
  ASSERT_TRUE(slider->Dragging());
  const int held = slider->Pos();  // where the press landed, about 100
  ASSERT_NEAR(held, 100, 2);
  Pump(100);
  ASSERT_EQ(daemon_.Pactl("set-sink-volume corvane_null 20000"), 0);
  Pump(300);
  EXPECT_EQ(slider->Pos(), held);  // the user's drag wins
  QTest::mouseRelease(slider, Qt::LeftButton, {}, at);
  const double expected = held * 512.0 * 65536.0 / 65535.0;
  EXPECT_TRUE(WaitUntil([&] { return std::fabs(daemon_.SinkVolume() - expected) <= 1.0; }, kSettleMs))
      << daemon_.SinkVolume();
}

TEST_F(VolumeWindowTest, MuteSetBeforeStartShowsMuted) {
  ASSERT_TRUE(daemon_.Start()) << daemon_.Log();
  ASSERT_EQ(daemon_.Pactl("set-sink-mute corvane_null 1"), 0);
  ASSERT_EQ(daemon_.Pactl("set-sink-volume corvane_null 32767"), 0);
  mixerDevice_ = "default";
  OpenWindow(false);
  EXPECT_TRUE(dlg()->muted());
  EXPECT_EQ(dlg()->volumeSlider()->Pos(), 63);  // 32767 at start
  // One click sounds the line.
  Click(CCorvaneDlg::IDC_MUTE);
  EXPECT_FALSE(dlg()->muted());
  EXPECT_EQ(daemon_.SinkMute(), 0);
}

TEST_F(VolumeWindowTest, MixerLostDisablesVolumeAndMute) {
  OpenOnDaemon();
  ASSERT_TRUE(ControlsEnabled());
  const auto t0 = std::chrono::steady_clock::now();
  daemon_.Kill();
  EXPECT_TRUE(WaitUntil([&] { return !ControlsEnabled(); }, kSettleMs));
  std::printf("volume: daemon killed to controls disabled %lld ms\n",
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count()));
  EXPECT_EQ(dlg()->mixer(), nullptr);
  EXPECT_FALSE(MessageBoxShown());
  // The window goes on, and closes normally.
  Click(CCorvaneDlg::IDC_MUTE);
  ClickSlider(10);
  Pump(50);
  CloseWindow();
}

}  // namespace
}  // namespace corvane::uitest
