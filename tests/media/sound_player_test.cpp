// The sound player with real voice frames and ADPCM (from the recorder's
// encoders and krvsynth recordings), on the null device and on SDL's dummy
// driver; the decoded-sound ring; the clock following the sound.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "media/ac_movie_filter.h"
#include "media/ac_play_clock.h"
#include "media/ac_sound_buffer.h"
#include "media/ac_sound_player.h"
#include "media/play_gates.h"
#include "media/hi_voice.h"
#include "pipeline_support.h"
#include "synth/adpcm_ms.h"

using namespace media;
using namespace pipelinetest;

namespace {

int g_window;  // stands for the owner window
ACWindowHandle kWindow = &g_window;

std::vector<int16_t> tone(int count) {
  std::vector<int16_t> s(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) s[i] = static_cast<int16_t>(8000 * std::sin(i * 0.3));
  return s;
}

// One HiSilicon voice frame of `samples` samples (1 + 4k).
std::vector<unsigned char> voiceFrame(int samples) {
  unsigned char state[HI_VOICE_STATE_BYTES];
  HI_VOICE_EncReset(state, 35);
  std::vector<unsigned char> frame(HI_VOICE_MAX_FRAME_BYTES);
  int bytes = static_cast<int>(frame.size());
  const auto pcm = tone(samples);
  EXPECT_EQ(HI_VOICE_EncodeFrame(state, pcm.data(), samples, frame.data(), &bytes), 0);
  frame.resize(static_cast<size_t>(bytes));
  return frame;
}

// One Microsoft ADPCM block of `bytes` bytes.
std::vector<unsigned char> adpcmBlock(int bytes) {
  const auto pcm = tone(krvsynth::AdpcmSamplesPerBlock(bytes));
  std::vector<unsigned char> block(static_cast<size_t>(bytes));
  krvsynth::EncodeAdpcmMsBlock(pcm.data(), bytes, block.data());
  return block;
}

int push(ACSoundPlayer& p, int type, int64_t dts, const std::vector<unsigned char>& data) {
  return p.PushAudio(0, type, dts, data.data(), static_cast<int>(data.size()));
}

struct NullPlayer : ::testing::Test {
  ACSoundPlayer player;
  void SetUp() override {
    ASSERT_EQ(player.Init(kWindow, 1, 8000, 16, CreateNullSoundDevice()), 1);
    player.Start();
    ASSERT_TRUE(player.Running());
  }
};

}  // namespace

TEST_F(NullPlayer, PauseKeepsTheSoundAndResumeGoesOnWhereItStopped) {
  player.Pause(1);
  ASSERT_EQ(push(player, ACSoundPlayer::kHisiVoiceType, 1000, voiceFrame(481)), 1);
  ASSERT_TRUE(WaitFor([&] { return player.StoredBytes() == 962; }, 2000));
  acSleepMs(150);
  // The sound stays in the ring.
  EXPECT_EQ(player.StoredBytes(), 962);
  player.Pause(0);
  ASSERT_TRUE(WaitFor([&] { return player.StoredBytes() == 0; }, 2000));
  // Played up to the sound's end once the device has played what it was
  // handed, and never past it (unless a second without packets has made
  // the end time unknown meanwhile: 0).
  auto atEndOrForgotten = [&] {
    const int64_t t = player.PlayedTime();
    return t == 1060 || (t == 0 && player.BufferedEndTime() == 0);
  };
  ASSERT_TRUE(WaitFor(atEndOrForgotten, 2000)) << player.PlayedTime();
  acSleepMs(50);
  EXPECT_TRUE(atEndOrForgotten()) << player.PlayedTime();
}

TEST_F(NullPlayer, SoundFromTheStartStampedInWholeMillisecondsIsKeptAndPlayed) {
  // Frames of 481 samples last 60.125 ms but are stamped 60 ms apart, as a
  // recorder stamps them in whole milliseconds: ten from time 0 hold a little
  // more sound than their end time says. That is the recording's start, not
  // stale sound: nothing is dropped and the time is 0 until it plays.
  player.Pause(1);
  const auto frame = voiceFrame(481);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(push(player, ACSoundPlayer::kHisiVoiceType, i * 60, frame), 1);
  ASSERT_TRUE(WaitFor([&] { return player.StoredBytes() == 9620; }, 2000));
  ASSERT_EQ(player.BufferedEndTime(), 600);
  EXPECT_EQ(player.PlayedTime(), 0);
  EXPECT_EQ(player.StoredBytes(), 9620);
  player.Pause(0);
  ASSERT_TRUE(WaitFor([&] { return player.PlayedTime() > 300; }, 2000)) << player.PlayedTime();
  EXPECT_LE(player.PlayedTime(), 600);
}

TEST_F(NullPlayer, SoundStoredBeyondItsEndTimeIsDropped) {
  // Sound stored far beyond what the recording had up to its end (a time
  // that went back without the ring being cleared) is not this
  // recording's: the ring is emptied and the time is unknown.
  player.Pause(1);
  const auto frame = voiceFrame(481);
  for (int i = 0; i < 10; ++i) ASSERT_EQ(push(player, ACSoundPlayer::kHisiVoiceType, 5000 + i * 60, frame), 1);
  ASSERT_EQ(push(player, ACSoundPlayer::kHisiVoiceType, 0, frame), 1);
  ASSERT_TRUE(WaitFor([&] { return player.StoredBytes() == 10582 && player.BufferedEndTime() == 60; }, 2000));
  EXPECT_EQ(player.PlayedTime(), 0);
  EXPECT_EQ(player.StoredBytes(), 0);
}

TEST_F(NullPlayer, PausedTheDeviceIdlesAndResumingWakesItWithTheSound) {
  player.Pause(1);
  EXPECT_TRUE(player.DeviceIdle());
  ASSERT_EQ(push(player, ACSoundPlayer::kHisiVoiceType, 1000, voiceFrame(481)), 1);
  ASSERT_TRUE(WaitFor([&] { return player.StoredBytes() == 962; }, 2000));
  // Idle, the device asks for nothing, as a closed one, so the feed is not
  // notified either: the sound waits.
  acSleepMs(300);
  EXPECT_EQ(player.StoredBytes(), 962);
  player.Pause(0);
  EXPECT_FALSE(player.DeviceIdle()) << "sound is waiting in the ring";
  ASSERT_TRUE(WaitFor([&] { return player.StoredBytes() == 0; }, 2000)) << "the device asks again";
}

TEST_F(NullPlayer, APauseLongerThanTheRingRunsOutResumesWithTheNextPackets) {
  // Paused past the second after which the end time is forgotten, with
  // sound stored; then play goes on and packets come again.
  player.Pause(1);
  ASSERT_EQ(push(player, ACSoundPlayer::kHisiVoiceType, 1000, voiceFrame(481)), 1);
  ASSERT_TRUE(WaitFor([&] { return player.StoredBytes() == 962; }, 2000));
  ASSERT_TRUE(WaitFor([&] { return player.BufferedEndTime() == 0; }, 3000)) << "forgotten while paused";
  EXPECT_EQ(player.StoredBytes(), 962) << "the sound stays";
  player.Pause(0);
  ASSERT_TRUE(WaitFor([&] { return player.StoredBytes() == 0; }, 2000));
  for (int i = 0; i < 5; ++i)
    ASSERT_EQ(push(player, ACSoundPlayer::kHisiVoiceType, 2000 + 60 * i, voiceFrame(481)), 1);
  ASSERT_TRUE(WaitFor([&] { return player.PlayedTime() >= 2000; }, 2000)) << "the next packets play";
  ASSERT_TRUE(WaitFor([&] { return player.StoredBytes() == 0; }, 2000));
  // Then, nothing stored and no packets for a second, the device idles.
  ASSERT_TRUE(WaitFor([&] { return player.DeviceIdle(); }, 5000));
}

TEST_F(NullPlayer, WithoutSoundTheDeviceIdlesUntilPacketsComeAgain) {
  // Over a second without packets, nothing stored: only silence to play.
  ASSERT_TRUE(WaitFor([&] { return player.DeviceIdle(); }, 5000));
  EXPECT_FALSE(player.Paused());
  ASSERT_EQ(push(player, ACSoundPlayer::kHisiVoiceType, 1000, voiceFrame(481)), 1);
  ASSERT_TRUE(WaitFor([&] { return !player.DeviceIdle(); }, 2000)) << "a packet ends the idle hint";
  ASSERT_TRUE(WaitFor([&] { return player.StoredBytes() == 0; }, 2000)) << "and its sound is played";
  // Once it is played and a second has passed, idle again.
  ASSERT_TRUE(WaitFor([&] { return player.DeviceIdle(); }, 5000));
}

namespace {

// A device whose output the test drives: each Render is one callback.
class ManualDevice : public ACSoundDevice {
 public:
  ~ManualDevice() override { Release(); }
  void Callback(int bytes) {
    std::vector<unsigned char> out(static_cast<size_t>(bytes));
    Render(out.data(), bytes);
  }

 protected:
  bool OpenOutput(int, int, int) override { return true; }
  void CloseOutput() override {}
  void StartOutput() override {}
  void StopOutput() override {}
};

}  // namespace

// The idle hint reaches the output once per change, whether or not the
// output plays, and stays with the device across a reopening.
TEST(SoundDevice, TheIdleHintReachesTheOutputOncePerChange) {
  class HintedDevice : public ManualDevice {
   public:
    std::vector<bool> hints;

   protected:
    void IdleOutput(bool idle) override { hints.push_back(idle); }
  };
  HintedDevice device;
  ASSERT_TRUE(device.Create(1, 8000, 16, 1066));
  device.SetIdle(true);
  device.SetIdle(true);
  EXPECT_TRUE(device.Idle());
  ASSERT_TRUE(device.Play());
  ASSERT_TRUE(device.SetFrequency(16000));
  EXPECT_TRUE(device.Idle());
  device.SetIdle(false);
  device.SetIdle(false);
  EXPECT_FALSE(device.Idle());
  EXPECT_EQ(device.hints, (std::vector<bool>{true, false}));
  device.StopPlayback();
}

// Between two callbacks the played position moves on with the clock at the
// device's rate, up to what the last callback took and never back.
TEST(SoundDevice, ThePlayedPositionMovesBetweenCallbacksUpToWhatWasHanded) {
  ManualDevice device;
  ASSERT_TRUE(device.Create(1, 8000, 16, 1600));  // 16 bytes a millisecond
  ASSERT_TRUE(device.Play());
  EXPECT_EQ(device.PlayedBytesNow(), 0);
  device.Callback(800);  // 50 ms of sound taken
  const int64_t atCallback = device.PlayedBytesNow();
  EXPECT_LT(atCallback, 800);
  acSleepMs(20);
  const int64_t later = device.PlayedBytesNow();
  EXPECT_GE(later, atCallback + 20 * 16) << "moved on by at least the time slept";
  EXPECT_LE(later, 800);
  ASSERT_TRUE(WaitFor([&] { return device.PlayedBytesNow() == 800; }, 2000));
  acSleepMs(20);
  EXPECT_EQ(device.PlayedBytesNow(), 800) << "not past what the callbacks took";
  device.Callback(800);
  EXPECT_GE(device.PlayedBytesNow(), 800) << "never back";
  EXPECT_LE(device.PlayedBytesNow(), 1600);
  EXPECT_EQ(device.BytesPlayed(), 1600);
}

TEST_F(NullPlayer, ATypeChangeMakesTheOtherDecoder) {
  player.Pause(1);
  ASSERT_EQ(push(player, ACSoundPlayer::kHisiVoiceType, 0, voiceFrame(161)), 1);           // 322 bytes
  ASSERT_EQ(push(player, ACSoundPlayer::kAdpcmType, 20, adpcmBlock(86)), 1);              // 320 bytes
  ASSERT_EQ(push(player, ACSoundPlayer::kHisiVoiceType, 40, voiceFrame(161)), 1);          // 322 bytes
  ASSERT_EQ(push(player, 12345, 60, voiceFrame(161)), 1);                                 // unknown: skipped
  ASSERT_TRUE(WaitFor([&] { return player.StoredBytes() >= 964; }, 2000));
  acSleepMs(50);
  EXPECT_EQ(player.StoredBytes(), 964);
  EXPECT_EQ(player.BufferedEndTime(), 60);
}

TEST_F(NullPlayer, MarkersCarryNoSound) {
  player.Pause(1);
  ASSERT_EQ(player.PushAudio(0, 0, DTS_BEGIN, nullptr, 0), 1);
  ASSERT_EQ(push(player, ACSoundPlayer::kHisiVoiceType, 0, voiceFrame(161)), 1);
  ASSERT_EQ(player.PushAudio(0, 0, DTS_END, nullptr, 0), 1);
  ASSERT_EQ(push(player, ACSoundPlayer::kHisiVoiceType, 20, voiceFrame(161)), 1);
  ASSERT_TRUE(WaitFor([&] { return player.StoredBytes() >= 644; }, 2000));
  EXPECT_EQ(player.BufferedEndTime(), 40);
}

TEST_F(NullPlayer, WithoutPacketsTheEndTimeIsForgottenAfterOneSecond) {
  ASSERT_EQ(push(player, ACSoundPlayer::kHisiVoiceType, 3000, voiceFrame(161)), 1);
  ASSERT_TRUE(WaitFor([&] { return player.BufferedEndTime() != 0; }, 2000));
  ASSERT_TRUE(WaitFor([&] { return player.BufferedEndTime() == 0; }, 3000));
  EXPECT_EQ(player.PlayedTime(), 0);
}

TEST_F(NullPlayer, ClearWhilePausedWithAFullRingReturnsAtOnce) {
  player.Pause(1);
  const auto frame = voiceFrame(481);  // 962 bytes each: the ring holds 106
  int refused = 0;
  for (int i = 0; i < 400 && refused < 5; ++i)
    if (push(player, ACSoundPlayer::kHisiVoiceType, i * 60, frame) == 0) ++refused;
  EXPECT_GT(refused, 0);
  const int64_t start = NowMs();
  player.ClearSound();
  EXPECT_LT(NowMs() - start, 500);
  EXPECT_EQ(player.StoredBytes(), 0);
  EXPECT_EQ(player.BufferedEndTime(), 0);
  // And the player goes on.
  ASSERT_EQ(push(player, ACSoundPlayer::kHisiVoiceType, 100, voiceFrame(161)), 1);
  ASSERT_TRUE(WaitFor([&] { return player.BufferedEndTime() == 120; }, 2000));
}

TEST(SoundPlayer, PushesBeforeStartOrWithBothGatesClosedAreTakenAndStoreNothing) {
  PlayGates gates;  // both shut
  ACSoundPlayer player;
  player.SetPlayGates(&gates);
  ASSERT_EQ(player.Init(kWindow, 1, 8000, 16, CreateNullSoundDevice()), 1);
  const auto frame = voiceFrame(161);
  {
    for (int i = 0; i < 30; ++i) ASSERT_EQ(push(player, ACSoundPlayer::kHisiVoiceType, i * 20, frame), 1);
  }
  player.Start();
  player.Pause(1);
  for (int i = 30; i < 60; ++i) ASSERT_EQ(push(player, ACSoundPlayer::kHisiVoiceType, i * 20, frame), 1);
  acSleepMs(50);
  EXPECT_EQ(player.StoredBytes(), 0);
  EXPECT_EQ(player.BufferedEndTime(), 0);
}

TEST(SdlSoundPlayer, Speed32DoublesTheDeviceRate) {
  ACSoundPlayer player;
  ASSERT_EQ(player.Init(kWindow, 1, 8000, 16), 1) << "SDL audio (SDL_AUDIODRIVER=dummy)";
  player.Start();
  ASSERT_TRUE(WaitFor([&] { return player.DeviceBytesPlayed() > 0; }, 2000));
  player.SetSpeed(32);
  EXPECT_EQ(player.DeviceFrequency(), 16000);
  const int64_t before = player.DeviceBytesPlayed();
  ASSERT_TRUE(WaitFor([&] { return player.DeviceBytesPlayed() > before + 2000; }, 2000)) << "plays on after reopening";
  player.SetSpeed(1);
  EXPECT_EQ(player.DeviceFrequency(), 500);
  player.SetSpeed(16);
  EXPECT_EQ(player.DeviceFrequency(), 8000);
}

TEST(SdlSoundPlayer, PausedTheDeviceStopsAndResumesWithTheSound) {
  ACSoundPlayer player;
  ASSERT_EQ(player.Init(kWindow, 1, 8000, 16), 1) << "SDL audio (SDL_AUDIODRIVER=dummy)";
  player.Start();
  ASSERT_TRUE(WaitFor([&] { return player.DeviceBytesPlayed() > 0; }, 2000));
  player.Pause(1);
  EXPECT_TRUE(player.DeviceIdle());
  ASSERT_EQ(push(player, ACSoundPlayer::kHisiVoiceType, 1000, voiceFrame(481)), 1);
  ASSERT_TRUE(WaitFor([&] { return player.StoredBytes() == 962; }, 2000));
  EXPECT_EQ(player.PlayedTime(), 1000);
  player.Pause(0);
  EXPECT_FALSE(player.DeviceIdle());
  // The device asks again: the sound that waited through the pause plays.
  ASSERT_TRUE(WaitFor([&] { return player.StoredBytes() == 0; }, 2000)) << "no sound after the pause";
  auto atEndOrForgotten = [&] {
    const int64_t t = player.PlayedTime();
    return t == 1060 || (t == 0 && player.BufferedEndTime() == 0);
  };
  EXPECT_TRUE(WaitFor(atEndOrForgotten, 2000)) << player.PlayedTime();
}

TEST(SdlSoundPlayer, RealAdpcmPlaysInRealTime) {
  const std::string path = Recording("sound_1ch_2s.krv", 2, 1, 176, 144);
  ASSERT_FALSE(path.empty());
  const auto audio = ReadPackets(path, 1);
  ASSERT_FALSE(audio.empty());
  ACSoundPlayer player;
  ASSERT_EQ(player.Init(kWindow, 1, 8000, 16), 1);
  player.Start();
  for (const Packet& p : audio)
    if (p.channel == 0)
      while (player.PushAudio(0, p.codecId, p.dtsMs, p.data.data(), static_cast<int>(p.data.size())) == 0)
        acSleepMs(1);
  // (Both readings well before the sound's end: a second after its last
  // packet the player forgets the end time.)
  ASSERT_TRUE(WaitFor([&] { return player.PlayedTime() > 100; }, 3000));
  const int64_t t1 = player.PlayedTime();
  const int64_t w1 = NowMs();
  acSleepMs(500);
  const int64_t t2 = player.PlayedTime();
  const int64_t w2 = NowMs();
  // Played time moves with the wall clock (a loose check of the feed
  // arithmetic; the accuracy belongs to the bench).
  EXPECT_NEAR(static_cast<double>(t2 - t1), static_cast<double>(w2 - w1), 250.0);
}

TEST(SoundAsMasterClock, TheClockFollowsThePlayedSound) {
  const std::string path = Recording("sound_1ch_2s.krv", 2, 1, 176, 144);
  ASSERT_FALSE(path.empty());
  const auto audio = ReadPackets(path, 1);
  ACSoundPlayer player;
  ASSERT_EQ(player.Init(kWindow, 1, 8000, 16), 1);
  player.Start();
  ACMovieFilter filter;
  ACPlayClock clock(nullptr);
  clock.Start(&filter, &player);
  // The sound runs 700 ms ahead of the pictures: with the sound as master
  // the clock passes the first 700 ms of video times at once and then keeps
  // pace with the played sound, so it reaches 1000 about 300 ms after the
  // start (timestamps alone would take a second). All the sound is pushed
  // at once, and a second after its last packet the player forgets its end
  // time: the check is well inside that second even on a loaded machine.
  for (const Packet& p : audio) {
    if (p.channel != 0) continue;
    while (player.PushAudio(0, p.codecId, p.dtsMs + 700, p.data.data(), static_cast<int>(p.data.size())) == 0)
      acSleepMs(1);
  }
  ASSERT_TRUE(WaitFor([&] { return player.BufferedEndTime() > 2000; }, 2000));
  for (int64_t t = 0; t <= 1000; t += 40) ASSERT_EQ(clock.PushDTS(t, 2000), 1);
  const int64_t start = NowMs();
  clock.SetMode(ACPlayClock::kModePlay);
  ASSERT_TRUE(WaitFor([&] { return filter.CurrentDTS() == 1000; }, 5000));
  const int64_t took = NowMs() - start;
  const int64_t played = player.PlayedTime();
  EXPECT_GT(took, 100);
  EXPECT_LT(took, 850);
  EXPECT_GT(played, 900);
  EXPECT_LT(played, 1300);
}

// The decoded-sound ring on its own: bytes come out as they went in, in
// order, whatever the sizes, including the wrap with the reader at 0.
TEST(SoundBuffer, TheWrapWithTheReaderAtZeroLosesNothing) {
  ACSoundBuffer ring(100);
  int available = 0;
  unsigned char* area = ring.WriteArea(90, &available);
  ASSERT_NE(area, nullptr);
  for (int i = 0; i < 90; ++i) area[i] = static_cast<unsigned char>(i);
  ring.Commit(90);
  // 10 bytes left at the end, the reader still at 0: no area, nothing lost.
  EXPECT_EQ(ring.WriteArea(20, &available), nullptr);
  EXPECT_EQ(ring.Stored(), 90);
  unsigned char out[100];
  ASSERT_EQ(ring.Read(out, 100), 90);
  for (int i = 0; i < 90; ++i) ASSERT_EQ(out[i], i);
  EXPECT_EQ(ring.Stored(), 0);
}

TEST(SoundBuffer, RandomWritesAndReadsKeepTheByteStream) {
  ACSoundBuffer ring(1000);
  std::mt19937 rng(7);
  uint8_t nextIn = 0, nextOut = 0;
  int64_t written = 0, read = 0;
  std::vector<unsigned char> out(1000);
  for (int step = 0; step < 20000; ++step) {
    if (rng() % 2 == 0) {
      const int n = 1 + static_cast<int>(rng() % 300);
      int available = 0;
      unsigned char* area = ring.WriteArea(n, &available);
      if (area == nullptr) continue;
      ASSERT_GE(available, n);
      for (int i = 0; i < n; ++i) area[i] = nextIn++;
      ring.Commit(n);
      written += n;
    } else {
      const int n = 1 + static_cast<int>(rng() % 400);
      const int got = ring.Read(out.data(), n);
      for (int i = 0; i < got; ++i) ASSERT_EQ(out[i], nextOut++) << "byte " << read + i;
      read += got;
    }
    ASSERT_EQ(ring.Stored(), written - read);
  }
  EXPECT_GT(read, 100000);
}
