// The sound player: packet ring, decode thread, decoded-sound ring and the
// feed thread that keeps the device's looping buffer filled.
#include "media/ac_sound_player.h"

#include <cstring>
#include <vector>

#include "media/ac_adpcm_decoder.h"
#include "media/ac_coder.h"
#include "media/ac_hisi_voice_decoder.h"
#include "media/ac_records.h"
#include "media/play_gates.h"

namespace media {

namespace {

constexpr int kNotifications = 5;
constexpr int kClearWaitMs = 2000;
constexpr int kFeedEndWaitMs = 500;
constexpr int kDecodeEndWaitMs = 200;
constexpr uint32_t kSilenceResetMs = 1000;
// Decoded sound goes into the ring in pieces of at most this many bytes, so
// a block larger than the ring still fits (piece by piece).
constexpr int kMaxPieceBytes = 8192;
// How often the decode thread, without packets while sound plays, looks
// whether the device has played what the ring held (see DecodeLoop). A
// packet, a clear request and the stop wake it at once; so do room in the
// decoded-sound ring and the end of a pause, where it waits for them.
constexpr int kIdleWaitMs = 100;
// The played position is trusted only this far behind the sound taken from
// the ring (the device buffer and the output's own buffer are far shorter);
// further behind, the handed record is stale and the ring's time stands.
constexpr int64_t kMaxPlayLagMs = 300;
// The recorder stamps its sound packets in whole milliseconds (with its own
// jitter) while a packet lasts a fraction more or less, and the end time
// and the stored sound are both taken in whole milliseconds: sound stored
// from the recording's very start may add up to a little more than the end
// time. Up to this much more is the start (time 0), not stale sound.
constexpr int64_t kStampSlackMs = 100;

}  // namespace

ACSoundPlayer::ACSoundPlayer() = default;

ACSoundPlayer::~ACSoundPlayer() {
  Stop();
  Release();
}

int ACSoundPlayer::Init(ACWindowHandle window, int channels, int rate, int bits) {
  return Init(window, channels, rate, bits, CreateSdlSoundDevice());
}

int ACSoundPlayer::Init(ACWindowHandle window, int channels, int rate, int bits,
                        std::unique_ptr<ACSoundDevice> device) {
  if (window == nullptr) return 0;
  window_ = window;
  if (running_.load() != 0 || decodeRunning_.load() != 0) Stop();
  Release();
  if (device == nullptr || channels < 1 || channels > 2 || (bits != 8 && bits != 16) || rate < 1000 ||
      rate > 192000)
    return 0;
  channels_ = channels;
  rate_ = rate;
  bits_ = bits;
  const int blockAlign = channels * bits / 8;
  // A fifteenth of a second of 16-bit mono, to whole sample frames.
  deviceBufferBytes_ = rate * 2 / 15 / blockAlign * blockAlign;
  if (!device->Create(channels, rate, bits, deviceBufferBytes_)) return 0;
  const int step = deviceBufferBytes_ / kNotifications;
  const int positions[kNotifications] = {step, 2 * step, 3 * step, 4 * step, 5 * step - 1};
  if (!device->SetNotifications(positions, kNotifications, &notifyEvent_, &stopEvent_)) return 0;
  device_ = std::move(device);
  notifyEvent_.Reset();
  silence_ = 0x80;  // 8 bits: 0x80 bytes; 16 bits: samples of 128 (0x0080), see FillSilence
  initialised_.store(1);
  return 1;
}

void ACSoundPlayer::Release() {
  initialised_.store(0);
  if (device_) device_->Release();
  device_.reset();
}

void ACSoundPlayer::Start() {
  if (initialised_.load() == 0) return;
  if (running_.load() == 0) {
    feedThread_.Join();  // a feed thread that ended on its own
    stopEvent_.Reset();
    running_.store(1);
    if (!feedThread_.Start([this] { FeedLoop(); }, "cv-sound-feed")) running_.store(0);
  }
  if (decodeRunning_.load() == 0) {
    decodeThread_.Join();
    decodeStop_.store(0);
    decodeRunning_.store(1);
    if (!decodeThread_.Start([this] { DecodeLoop(); }, "cv-sound-decode")) decodeRunning_.store(0);
  }
}

void ACSoundPlayer::Stop() {
  if (device_) device_->StopPlayback();
  stopEvent_.Set();
  feedThread_.WaitEnded(kFeedEndWaitMs);
  feedThread_.Join();
  running_.store(0);
  decodeStop_.store(1);
  packets_.WakeWaiters();
  sound_.WakeWaiters();
  decodeThread_.WaitEnded(kDecodeEndWaitMs);
  decodeThread_.Join();
  decodeRunning_.store(0);
  for (int i = 0; i < 4; ++i) {
    delete decoders_[i];
    decoders_[i] = nullptr;
    decoderTypes_[i] = 0;
  }
}

int ACSoundPlayer::PushAudio(int, int type, int64_t dts, const unsigned char* data, int length, int width,
                             int height) {
  if (running_.load() == 0 || decodeRunning_.load() == 0) return 1;
  return GatedPush(gates_.load(), [&] {
    packets_.Lock(-1);
    const int r = packets_.PushPacket(type, dts, data, length, width, height);
    packets_.Unlock();
    return r;
  });
}

int ACSoundPlayer::WaitForRoom(int timeoutMs, ACEvent* orWake) {
  return packets_.WaitForSpace(timeoutMs, orWake) ? 1 : 0;
}

void ACSoundPlayer::ClearSound() {
  packets_.Lock(-1);
  packets_.ClearPackets();
  packets_.Unlock();
  if (decodeRunning_.load() == 0) {
    sound_.Lock(-1);
    sound_.Clear();
    handed_.valid = false;
    endTime_.store(0);
    endTimeUs_.store(0);
    sound_.Unlock();
    return;
  }
  acknowledgeEvent_.Reset();
  clearRequest_.store(1);
  packets_.WakeWaiters();
  sound_.WakeWaiters();
  acknowledgeEvent_.Wait(kClearWaitMs);  // not acknowledged in time: given up
}

void ACSoundPlayer::Pause(int on) {
  if (on != 0) {
    pauseEvent_.Set();
  } else if (pauseEvent_.IsSet()) {
    pauseEvent_.Reset();
    resumed_.Set();
  }
  UpdateDeviceIdle();
}

void ACSoundPlayer::UpdateDeviceIdle() {
  std::lock_guard<std::mutex> lock(idleMutex_);
  if (device_) device_->SetIdle(pauseEvent_.IsSet() || quiet_.load() != 0);
}

void ACSoundPlayer::SetSpeed(int speed) {
  if (speed <= 0 || speed == speed_.load()) return;
  speed_.store(speed);
  if (initialised_.load() != 0 && device_) device_->SetFrequency((rate_ * speed) >> 4);
}

int64_t ACSoundPlayer::BytesToUs(int64_t bytes) const {
  const int bytesPerSample = bits_ / 8;
  const int perMs = rate_ / 1000;
  return bytesPerSample > 0 && perMs > 0 ? bytes * 1000 / bytesPerSample / perMs : 0;
}

int64_t ACSoundPlayer::PlayedTime() {
  const int64_t end = endTime_.load();
  if (end == 0) return 0;
  const int bytesPerSample = bits_ / 8;
  const int perMs = rate_ / 1000;
  sound_.Lock(-1);
  const int stored = sound_.Stored();
  const int64_t storedMs = bytesPerSample > 0 && perMs > 0 ? stored / bytesPerSample / perMs : 0;
  int64_t played = end - storedMs;
  if (played < -kStampSlackMs) {
    // More sound stored than the recording had up to its end: the ring
    // holds sound that is no longer this recording's.
    sound_.DropAll();
    handed_.valid = false;
  } else if (played < 0) {
    played = 0;
  } else if (handed_.valid && device_) {
    // The clock follows the sound as the feed takes it from the ring, one
    // device buffer ahead of what the device plays: the time at the
    // device's position one buffer on. Between the device's callbacks that
    // position moves on with the clock, so the time moves smoothly whatever
    // the output's period, and never past what the feed has handed over.
    const int64_t position = device_->PlayedBytesNow() + device_->BufferBytes();
    int64_t us;
    if (position >= handed_.endBytes)
      us = handed_.endUs;
    else if (position <= handed_.startBytes)
      us = handed_.startUs;  // the stretch has not begun to play: it is next
    else
      us = handed_.endUs - BytesToUs(handed_.endBytes - position);
    const int64_t ms = us / 1000;
    // Further behind than any device buffer: the record is stale (the ring's
    // time stands). Otherwise the device's time, 0 (unknown) until the
    // handed sound has reached a time above 0.
    if (ms < played && played - ms <= kMaxPlayLagMs) played = ms < 0 ? 0 : ms;
  }
  sound_.Unlock();
  return played < 0 ? 0 : played;
}

void ACSoundPlayer::NoteHandedLocked(ACSoundDevice& device, int offset, int read) {
  // The device is locked: its count and position belong together. A byte
  // at `offset` plays when the position next reaches it.
  const int size = device.BufferBytes();
  const int64_t startBytes = device.BytesPlayed() + (offset - device.PlayPosition() + size) % size;
  const int64_t endUs = endTimeUs_.load() - BytesToUs(sound_.Stored());
  if (!handed_.valid || handed_.endBytes != startBytes) {
    handed_.startBytes = startBytes;
    handed_.startUs = endUs - BytesToUs(read);
  }
  handed_.endBytes = startBytes + read;
  handed_.endUs = endUs;
  handed_.valid = true;
}

int ACSoundPlayer::DeviceFrequency() const { return device_ ? device_->Frequency() : 0; }

int ACSoundPlayer::DeviceBufferBytes() const { return deviceBufferBytes_; }

int64_t ACSoundPlayer::DeviceBytesPlayed() const { return device_ ? device_->BytesPlayed() : 0; }

int ACSoundPlayer::StoredBytes() {
  sound_.Lock(-1);
  const int n = sound_.Stored();
  sound_.Unlock();
  return n;
}

void ACSoundPlayer::FillSilence(unsigned char* data, int bytes, int offset) const {
  if (bits_ == 8) {
    std::memset(data, silence_, static_cast<size_t>(bytes));
    return;
  }
  // 16-bit samples of 128, little-endian (0x80, 0x00); `offset` is the
  // region's byte offset in the looping buffer, which fixes the phase.
  for (int i = 0; i < bytes; ++i) data[i] = ((offset + i) & 1) == 0 ? 0x80 : 0x00;
}

void ACSoundPlayer::StoreSound(int64_t dts, const unsigned char* pcm, int bytes) {
  const int bytesPerSample = bits_ / 8;
  const int perMs = rate_ / 1000;
  int done = 0;
  while (done < bytes) {
    int piece = bytes - done < kMaxPieceBytes ? bytes - done : kMaxPieceBytes;
    int available = 0;
    sound_.Lock(-1);
    unsigned char* area = sound_.WriteArea(piece, &available);
    if (area != nullptr) {
      std::memcpy(area, pcm + done, static_cast<size_t>(piece));
      sound_.Commit(piece);
      done += piece;
      if (bits_ >= 8 && rate_ >= 1000) {
        endTime_.store(dts + done / bytesPerSample / perMs);
        endTimeUs_.store(dts * 1000 + BytesToUs(done));
      }
    }
    sound_.Unlock();
    if (area != nullptr) continue;
    // The ring is full (playback paused, or the device behind): wait for
    // room, unless the player stops or is told to clear (room, the clear and
    // the stop all wake it).
    if (decodeStop_.load() != 0 || clearRequest_.load() != 0) return;
    sound_.WaitForSpace(kInfinite);
  }
}

void ACSoundPlayer::DecodeLoop() {
  std::vector<unsigned char> input(kInputBytes);
  uint32_t silenceSince = 0;
  bool silent = false;
  int emptyLooks = 0;
  quiet_.store(0);
  UpdateDeviceIdle();
  while (decodeStop_.load() == 0) {
    if (clearRequest_.exchange(0) != 0) {
      sound_.Lock(-1);
      sound_.Clear();
      handed_.valid = false;
      // Nothing is buffered any more: the end time is unknown until the
      // next sound comes.
      endTime_.store(0);
      endTimeUs_.store(0);
      sound_.Unlock();
      acknowledgeEvent_.Set();
    }
    int type = 0, length = kInputBytes, width = 0, height = 0;
    int64_t dts = 0;
    packets_.Lock(-1);
    const int got = packets_.PopPacket(&type, &dts, input.data(), &length, &width, &height);
    packets_.Unlock();
    if (got == 0) {
      const uint32_t now = acTickCount();
      if (!silent) {
        silent = true;
        silenceSince = now;
      }
      const uint32_t silentMs = acElapsedMs(silenceSince, now);
      if (silentMs > kSilenceResetMs) {
        if (endTime_.load() != 0) {
          sound_.Lock(-1);
          handed_.valid = false;
          endTime_.store(0);
          endTimeUs_.store(0);
          sound_.Unlock();
        }
        // Once the device has played what the ring held (the ring found
        // empty twice, a wait apart: longer than the looping buffer lasts),
        // it has nothing but silence to play until packets come again.
        emptyLooks = StoredBytes() == 0 ? emptyLooks + 1 : 0;
        if (quiet_.load() == 0 && emptyLooks >= 2) {
          quiet_.store(1);
          UpdateDeviceIdle();
        }
      }
      // A packet, a clear or the stop (each wakes it) gives it work; else
      // only time does: the second at which the end time is forgotten, and
      // the looks at the ring while the device plays it out. Quiet, or
      // paused with sound in the ring (which then stays as it is), nothing
      // is timed until packets come or the pause ends.
      if (silentMs <= kSilenceResetMs) {
        packets_.WaitForData(static_cast<int>(kSilenceResetMs + 1 - silentMs));
      } else if (quiet_.load() != 0) {
        packets_.WaitForData(kInfinite);
      } else if (emptyLooks == 0 && pauseEvent_.IsSet()) {
        ACEvent* const events[2] = {packets_.DataEvent(), &resumed_};
        WaitForEvents(events, 2, kInfinite);
      } else {
        packets_.WaitForData(kIdleWaitMs);
      }
      continue;
    }
    silent = false;
    emptyLooks = 0;
    if (quiet_.exchange(0) != 0) UpdateDeviceIdle();
    // Markers carry no sound (and no type: they must not unmake the decoder).
    if (dts < 0 || length <= 0) continue;
    if (decoderTypes_[0] != type) {
      delete decoders_[0];
      decoders_[0] = nullptr;
      decoderTypes_[0] = type;
    }
    if (decoders_[0] == nullptr) {
      if (type == kHisiVoiceType)
        decoders_[0] = new ACHisiVioceDecoder();
      else if (type == kAdpcmType)
        decoders_[0] = new ACADPCMDecoder();
      else
        continue;
    }
    int outLength = 0;
    const unsigned char* pcm = decoders_[0]->Decode(type, input.data(), length, &outLength, 0, 0, nullptr);
    if (pcm == nullptr || outLength <= 0) continue;
    StoreSound(dts, pcm, outLength);
  }
  decodeRunning_.store(0);
}

void ACSoundPlayer::FeedLoop() {
  ACSoundDevice& device = *device_;
  const int size = device.BufferBytes();
  unsigned char *p1 = nullptr, *p2 = nullptr;
  int n1 = 0, n2 = 0;
  if (!device.Lock(0, size, &p1, &n1, &p2, &n2)) {
    running_.store(0);
    return;
  }
  FillSilence(p1, n1, 0);
  device.Unlock();
  if (!device.Play()) {
    running_.store(0);
    return;
  }
  ACEvent* events[2] = {&notifyEvent_, &stopEvent_};
  int write = 0;
  for (;;) {
    // Without limit: a device that has nothing to play (the idle hint) may
    // stop asking, and so notifying, until there is sound again; the stop
    // event ends the wait.
    const int hit = WaitForEvents(events, 2, kInfinite);
    if (hit != 0) break;
    const int play = device.PlayPosition();
    const int chunk = write >= play ? size - write + play : play - write;
    if (!device.Lock(write, chunk, &p1, &n1, &p2, &n2)) break;
    int read = 0;
    if (!pauseEvent_.IsSet()) {
      sound_.Lock(-1);
      read = sound_.Read(p1, n1);
      if (read == n1 && n2 > 0) read += sound_.Read(p2, n2);
      if (read > 0) NoteHandedLocked(device, write, read);
      sound_.Unlock();
    }
    // The rest of the chunk is silence; it is written over by the next
    // chunk when sound came short, since the write position moves only by
    // what was read.
    if (read < n1) {
      FillSilence(p1 + read, n1 - read, write + read);
      if (n2 > 0) FillSilence(p2, n2, 0);
    } else if (n2 > 0) {
      FillSilence(p2 + (read - n1), n2 - (read - n1), read - n1);
    }
    write += read > 0 ? read : chunk;
    write %= size;
    device.Unlock();
  }
  device.StopPlayback();
  stopEvent_.Reset();
  running_.store(0);
}

}  // namespace media
