// The bases of every decoder. Owners hold a decoder as ACDecoder* and delete
// it through that pointer.
#pragma once

#include <cstdint>

namespace media {

class ACCoder {
 public:
  ACCoder() = default;
  virtual ~ACCoder() = default;
  ACCoder(const ACCoder&) = delete;
  ACCoder& operator=(const ACCoder&) = delete;

  // Returns 1. Concrete decoders mark themselves opened here.
  virtual int Open();
  // Sets the state word; returns 1.
  virtual int SetState(int32_t state);
  // Sets the state word to 0; returns 1.
  virtual int ClearState();

  int32_t State() const { return state_; }

 private:
  int32_t state_ = 0;
};

class ACDecoder : public virtual ACCoder {
 public:
  // Decodes one packet. Video: `first` is the channel, width x height the
  // picture size from the stream, `output` the caller's buffer; the result
  // is `output` holding a planar YUV 4:2:0 picture. Audio: `first` is the
  // packet type, width, height and output are 0; the result is the decoder's
  // own buffer of 16-bit PCM. *outLength gets the byte count. Null on
  // failure. The base decodes nothing and returns null.
  virtual unsigned char* Decode(int first, const unsigned char* data, int length, int* outLength, int width,
                                int height, unsigned char* output);
  // Store the picture width / height. The base ignores them.
  virtual void SetWidth(int width);
  virtual void SetHeight(int height);
  // Stores one further value and forwards to ACCoder::Open; returns its result.
  virtual int Configure(int value);
  // The opened flag; the base reports 0.
  virtual int IsOpened();

 protected:
  int32_t configValue_ = 0;
};

}  // namespace media
