#include "media/ac_coder.h"

namespace media {

int ACCoder::Open() { return 1; }

int ACCoder::SetState(int32_t state) {
  state_ = state;
  return 1;
}

int ACCoder::ClearState() {
  state_ = 0;
  return 1;
}

unsigned char* ACDecoder::Decode(int, const unsigned char*, int, int*, int, int, unsigned char*) { return nullptr; }

void ACDecoder::SetWidth(int) {}

void ACDecoder::SetHeight(int) {}

int ACDecoder::Configure(int value) {
  configValue_ = value;
  return Open();
}

int ACDecoder::IsOpened() { return 0; }

}  // namespace media
