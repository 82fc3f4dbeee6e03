// Synthetic recordings: real H.264 (libx264 through libavcodec), Microsoft
// ADPCM sound and vehicle data records, written as KRV files with the
// container's writer, or as per-channel AVI files through libavformat.
// The same options give the same bytes (the KRV "start_time" aside, which is
// the current time unless `startTime` is given).
//
// krvtool synth and synth-folder are thin shells over this library; tests of
// any folder can link `krvsynth` and call it directly.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace krvsynth {

// Sound of the channels: Microsoft ADPCM in 2036-byte blocks, HiSilicon
// voice frames of 481 samples (KRV only; an AVI carries no sound then), or none.
enum class AudioKind { kAdpcm, kHisi, kNone };

struct SynthOptions {
  int seconds = 10;
  int64_t startTime = -1;  // seconds since 1970 (UTC); -1: none given
  int width = 704;
  int height = 576;
  int fps = 25;
  int gop = 25;            // key frame every gop frames
  int channels = 4;        // channels 1..channels carry video and sound
  AudioKind audio = AudioKind::kAdpcm;
  bool data = true;        // GPS, GSensor, otherSensors records
  std::string bus = "\xE7\xB2\xA4" "A.12345";  // the vehicle's bus number (UTF-8 "粤A.12345")
  uint32_t seed = 1;
  // G events: (second, G) puts a G-sensor sample of G along x (and 1 G
  // along z) at that second, instead of the simulated one.
  std::vector<std::pair<double, double>> gEvents;
};

// Checks the options; empty when they are usable, else the reason.
std::string CheckOptions(const SynthOptions& o);

// Writes one KRV recording with the container's writer: four video, four
// audio and one data stream declared (layout 0x91, identifiers 0-7 and 8),
// the first `channels` video and audio streams carrying packets.
// True on success; false with a one-line reason in *error.
bool WriteKrv(const SynthOptions& o, const std::string& path, std::string* error);

// Writes channel `channel` (0-3) of one recording period as an AVI file
// (H.264 video, Microsoft ADPCM sound) through libavformat's AVI muxer.
bool WriteAviChannel(const SynthOptions& o, int channel, const std::string& path, std::string* error);

// The demo record folder: two date folders holding six KRV recordings of
// 20-60 s covering the four record types, and one period as four AVI files.
// `width`/`height` default to 704x576. Paths of the files written go to *written.
bool WriteDemoFolder(const std::string& dir, uint32_t seed, int width, int height, std::vector<std::string>* written,
                     std::string* error);

// "YYYYMMDDhhmmss" (UTC) to seconds since 1970; -1 when malformed.
int64_t ParseStartTime(const std::string& text);

}  // namespace krvsynth
