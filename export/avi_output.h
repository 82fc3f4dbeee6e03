// One export output: an AVI file of one channel through libavformat's AVI
// muxer, stream 0 H.264 video and stream 1 Microsoft ADPCM sound (8000 Hz,
// mono, 2036-byte blocks), written as NAME.part and renamed to NAME when
// finished. Packets are copied as they come, numbered back to back.
//
// Used by one thread at a time (the export's lock guards it).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

struct AVFormatContext;
struct AVPacket;

namespace avexport {

class AviOutput {
 public:
  AviOutput();
  ~AviOutput();  // Abort() when still open
  AviOutput(const AviOutput&) = delete;
  AviOutput& operator=(const AviOutput&) = delete;

  // Creates path + ".part" and writes the AVI header. The video time base
  // is rateNum/rateDen frames per second inverted (1/25 for 25 fps); with
  // rateKnown false it is a guess that Finish replaces by the rate the
  // written pictures' own times give. False with the reason in *error;
  // nothing is left on disk then.
  bool Open(const std::string& path, int width, int height, int timeBaseNum, int timeBaseDen, bool rateKnown,
            std::string* error);
  bool IsOpen() const { return oc_ != nullptr; }

  // A video picture (its source time in ms, for the rate) or a sound block.
  bool WriteVideo(const unsigned char* data, int size, bool key, int64_t timeMs, std::string* error);
  bool WriteAudio(const unsigned char* data, int size, std::string* error);

  // Trailer, close, the measured rate into the header when it was a guess,
  // then the rename to the final name. False with the reason; the .part
  // file is removed then.
  bool Finish(std::string* error);
  // Closes without a trailer and removes the .part file.
  void Abort();

  const std::string& Path() const { return path_; }
  std::string PartPath() const { return path_ + ".part"; }
  int64_t VideoPackets() const { return videoCount_; }
  int64_t AudioPackets() const { return audioCount_; }
  int64_t FirstVideoMs() const { return firstMs_; }
  int64_t LastVideoMs() const { return lastMs_; }

  // The wave format's extra data of Microsoft ADPCM: samples per block, the
  // seven standard coefficient pairs (32 bytes).
  static constexpr int kAdpcmExtraBytes = 32;
  static void AdpcmExtradata(int samplesPerBlock, unsigned char* out);
  static constexpr int kBlockBytes = 2036;
  static constexpr int kBlockSamples = 4060;  // (2036 - 7) x 2 + 2
  static constexpr int kSampleRate = 8000;

 private:
  bool Write(int stream, const unsigned char* data, int size, bool key, int64_t index, std::string* error);
  void CloseContext();
  bool PatchRate(std::string* error);

  AVFormatContext* oc_ = nullptr;
  AVPacket* pkt_ = nullptr;
  std::string path_;
  bool rateKnown_ = true;
  int64_t videoCount_ = 0;
  int64_t audioCount_ = 0;
  int64_t firstMs_ = -1;
  int64_t lastMs_ = -1;
};

}  // namespace avexport
