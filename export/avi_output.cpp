#include "export/avi_output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <numeric>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

namespace avexport {

namespace {

std::string avError(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

void putLe16(unsigned char* p, int v) {
  p[0] = static_cast<unsigned char>(v & 0xff);
  p[1] = static_cast<unsigned char>((v >> 8) & 0xff);
}

void putLe32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xff);
}

uint32_t getLe32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

void AviOutput::AdpcmExtradata(int samplesPerBlock, unsigned char* out) {
  // The seven coefficient pairs every Microsoft ADPCM stream declares.
  static constexpr int kCoefficients[7][2] = {{256, 0}, {512, -256}, {0, 0}, {192, 64},
                                              {240, 0}, {460, -208}, {392, -232}};
  putLe16(out, samplesPerBlock);
  putLe16(out + 2, 7);
  for (int i = 0; i < 7; ++i) {
    putLe16(out + 4 + 4 * i, kCoefficients[i][0] & 0xffff);
    putLe16(out + 6 + 4 * i, kCoefficients[i][1] & 0xffff);
  }
}

AviOutput::AviOutput() = default;

AviOutput::~AviOutput() {
  if (IsOpen()) Abort();
  av_packet_free(&pkt_);
}

void AviOutput::CloseContext() {
  if (!oc_) return;
  if (oc_->pb) avio_closep(&oc_->pb);
  avformat_free_context(oc_);
  oc_ = nullptr;
}

bool AviOutput::Open(const std::string& path, int width, int height, int timeBaseNum, int timeBaseDen,
                     bool rateKnown, std::string* error) {
  if (IsOpen()) Abort();
  path_ = path;
  rateKnown_ = rateKnown;
  videoCount_ = audioCount_ = 0;
  firstMs_ = lastMs_ = -1;
  if (!pkt_) pkt_ = av_packet_alloc();
  if (!pkt_) {
    *error = "out of memory";
    return false;
  }
  const std::string part = PartPath();
  AVFormatContext* oc = nullptr;
  if (avformat_alloc_output_context2(&oc, nullptr, "avi", part.c_str()) < 0 || !oc) {
    *error = "libavformat has no AVI muxer";
    return false;
  }
  oc_ = oc;
  oc_->flags |= AVFMT_FLAG_BITEXACT;

  AVStream* vs = avformat_new_stream(oc_, nullptr);
  AVStream* as = avformat_new_stream(oc_, nullptr);
  if (!vs || !as) {
    CloseContext();
    *error = "out of memory";
    return false;
  }
  vs->time_base = AVRational{timeBaseNum, timeBaseDen};
  AVCodecParameters* vp = vs->codecpar;
  vp->codec_type = AVMEDIA_TYPE_VIDEO;
  vp->codec_id = AV_CODEC_ID_H264;
  vp->codec_tag = MKTAG('h', '2', '6', '4');
  vp->width = width;
  vp->height = height;
  vp->bits_per_coded_sample = 24;

  // The true figures of the sound: a 2036-byte block holds 4060 samples,
  // so 8000 samples a second are 8000 x 2036 / 4060 bytes.
  as->time_base = AVRational{kBlockSamples, kSampleRate};
  AVCodecParameters* ap = as->codecpar;
  ap->codec_type = AVMEDIA_TYPE_AUDIO;
  ap->codec_id = AV_CODEC_ID_ADPCM_MS;
  ap->codec_tag = 2;
  ap->sample_rate = kSampleRate;
  av_channel_layout_default(&ap->ch_layout, 1);
  ap->bits_per_coded_sample = 4;
  ap->block_align = kBlockBytes;
  ap->frame_size = kBlockSamples;
  ap->bit_rate = static_cast<int64_t>(kSampleRate) * kBlockBytes * 8 / kBlockSamples;
  ap->extradata = static_cast<uint8_t*>(av_mallocz(kAdpcmExtraBytes + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!ap->extradata) {
    CloseContext();
    *error = "out of memory";
    return false;
  }
  AdpcmExtradata(kBlockSamples, ap->extradata);
  ap->extradata_size = kAdpcmExtraBytes;

  int r = avio_open(&oc_->pb, part.c_str(), AVIO_FLAG_WRITE);
  if (r < 0) {
    CloseContext();
    *error = "cannot create " + part + ": " + avError(r);
    return false;
  }
  r = avformat_write_header(oc_, nullptr);
  if (r < 0 || oc_->pb->error < 0) {
    CloseContext();
    std::remove(part.c_str());
    *error = "cannot write the AVI header of " + part + ": " + avError(r < 0 ? r : oc_->pb->error);
    return false;
  }
  return true;
}

bool AviOutput::Write(int stream, const unsigned char* data, int size, bool key, int64_t index, std::string* error) {
  // The source's bytes as they are: the packet borrows them (not
  // reference-counted; av_write_frame copies nothing and keeps nothing).
  pkt_->data = const_cast<uint8_t*>(data);
  pkt_->size = size;
  pkt_->stream_index = stream;
  pkt_->pts = pkt_->dts = index;
  pkt_->duration = 1;
  pkt_->flags = key ? AV_PKT_FLAG_KEY : 0;
  const int r = av_write_frame(oc_, pkt_);
  pkt_->data = nullptr;
  pkt_->size = 0;
  if (r < 0 || oc_->pb->error < 0) {
    *error = "cannot write " + PartPath() + ": " + avError(r < 0 ? r : oc_->pb->error);
    return false;
  }
  return true;
}

bool AviOutput::WriteVideo(const unsigned char* data, int size, bool key, int64_t timeMs, std::string* error) {
  if (!IsOpen()) return false;
  if (!Write(0, data, size, key, videoCount_, error)) return false;
  if (firstMs_ < 0) firstMs_ = timeMs;
  lastMs_ = timeMs;
  ++videoCount_;
  return true;
}

bool AviOutput::WriteAudio(const unsigned char* data, int size, std::string* error) {
  if (!IsOpen()) return false;
  if (!Write(1, data, size, true, audioCount_, error)) return false;
  ++audioCount_;
  return true;
}

// The header was written with a guessed rate: the pictures' own times give
// the true one, which goes into the main header's microseconds per frame and
// the video stream header's scale and rate (the muxer's placeholders).
bool AviOutput::PatchRate(std::string* error) {
  if (rateKnown_ || videoCount_ < 2 || lastMs_ <= firstMs_) return true;
  int64_t scale = lastMs_ - firstMs_;  // ms for videoCount_ - 1 pictures
  int64_t rate = (videoCount_ - 1) * 1000;
  const int64_t g = std::gcd(scale, rate);
  scale /= g;
  rate /= g;
  while (scale > 0x7fffffff || rate > 0x7fffffff) {
    scale /= 2;
    rate /= 2;
  }
  if (scale <= 0 || rate <= 0) return true;
  const std::string part = PartPath();
  std::FILE* f = std::fopen(part.c_str(), "r+b");
  if (!f) {
    *error = "cannot reopen " + part + ": " + std::strerror(errno);
    return false;
  }
  unsigned char head[8192];
  const size_t n = std::fread(head, 1, sizeof head, f);
  bool ok = true;
  for (size_t i = 0; i + 8 <= n; ++i) {
    if (std::memcmp(head + i, "avih", 4) == 0 && i + 12 <= n) {
      unsigned char v[4];
      putLe32(v, static_cast<uint32_t>(scale * 1000000 / rate));
      ok = ok && std::fseek(f, static_cast<long>(i + 8), SEEK_SET) == 0 && std::fwrite(v, 1, 4, f) == 4;
    } else if (std::memcmp(head + i, "strh", 4) == 0 && i + 8 + 28 <= n &&
               std::memcmp(head + i + 8, "vids", 4) == 0 && getLe32(head + i + 4) >= 28) {
      unsigned char v[8];
      putLe32(v, static_cast<uint32_t>(scale));
      putLe32(v + 4, static_cast<uint32_t>(rate));
      ok = ok && std::fseek(f, static_cast<long>(i + 8 + 20), SEEK_SET) == 0 && std::fwrite(v, 1, 8, f) == 8;
    }
  }
  if (std::fclose(f) != 0) ok = false;
  if (!ok) *error = "cannot write the frame rate into " + part;
  return ok;
}

bool AviOutput::Finish(std::string* error) {
  if (!IsOpen()) return false;
  const std::string part = PartPath();
  int r = av_write_trailer(oc_);
  if (r >= 0 && oc_->pb->error < 0) r = oc_->pb->error;
  if (r >= 0) {
    r = avio_closep(&oc_->pb);
  }
  CloseContext();
  if (r < 0) {
    std::remove(part.c_str());
    *error = "cannot finish " + part + ": " + avError(r);
    return false;
  }
  if (!PatchRate(error)) {
    std::remove(part.c_str());
    return false;
  }
  if (std::rename(part.c_str(), path_.c_str()) != 0) {
    *error = "cannot rename " + part + " to " + path_ + ": " + std::strerror(errno);
    std::remove(part.c_str());
    return false;
  }
  return true;
}

void AviOutput::Abort() {
  if (!IsOpen()) return;
  CloseContext();
  std::remove(PartPath().c_str());
}

}  // namespace avexport
