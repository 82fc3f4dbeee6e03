#include "media/ac_h264_decoder.h"

#include <cstring>

#include "media/av_handles.h"
#include "media/codec_map.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace media {

struct ACH264Decoder::Handles {
  AVCodecContextPtr context;
  AVFramePtr frame;
  AVPacketPtr packet;
  // The access unit with the zeroed padding libavcodec's bitstream reader
  // may look into; the caller's buffer has no such padding.
  std::unique_ptr<unsigned char[]> input;
};

ACH264Decoder::ACH264Decoder() = default;

ACH264Decoder::~ACH264Decoder() = default;  // closes and frees context, frame and packet

void ACH264Decoder::SetWidth(int width) { width_ = width; }

void ACH264Decoder::SetHeight(int height) { height_ = height; }

int ACH264Decoder::Open() {
  opened_ = 1;
  openedCompanion_ = 0;
  return 1;
}

int ACH264Decoder::IsOpened() { return opened_; }

void ACH264Decoder::SetOutputCapacity(int bytes) { outputCapacity_ = bytes; }

bool ACH264Decoder::SetUp() {
  codec_ = avcodec_find_decoder(acAvCodecId(AC_CODEC_H264));
  if (codec_ == nullptr) return false;
  auto h = std::make_unique<Handles>();
  h->context.reset(avcodec_alloc_context3(codec_));
  if (!h->context) return false;
  // One thread per decoder: the pipeline runs one decoder per channel and
  // serialises them, and frame threading would hold pictures back.
  h->context->thread_count = 1;
  if (avcodec_open2(h->context.get(), codec_, nullptr) < 0) return false;
  h->frame.reset(av_frame_alloc());
  h->packet.reset(av_packet_alloc());
  h->input.reset(new unsigned char[kMaxPacketBytes + AV_INPUT_BUFFER_PADDING_SIZE]);
  if (!h->frame || !h->packet) return false;
  av_ = std::move(h);
  firstCall_ = 0;
  return true;
}

bool ACH264Decoder::StoredSizeFits() const {
  if (width_ <= 0 || height_ <= 0 || (width_ & 1) || (height_ & 1)) return false;
  if (width_ > kMaxPictureWidth || height_ > kMaxPictureHeight) return false;
  return static_cast<int64_t>(width_) * height_ * 3 / 2 <= outputCapacity_;
}

bool ACH264Decoder::CopyPicture(const AVFrame* frame, unsigned char* output) const {
  if (frame->format != AV_PIX_FMT_YUV420P && frame->format != AV_PIX_FMT_YUVJ420P) return false;
  const int w = frame->width;
  const int h = frame->height;
  if (w <= 0 || h <= 0 || (w & 1) || (h & 1) || w > width_ || h > height_) return false;
  if (frame->linesize[0] < w || frame->linesize[1] < w / 2 || frame->linesize[2] < w / 2) return false;

  // Planes laid out for the stored size; a smaller picture sits top left.
  unsigned char* y = output;
  unsigned char* u = output + static_cast<size_t>(width_) * height_;
  unsigned char* v = output + static_cast<size_t>(width_) * height_ * 5 / 4;
  for (int row = 0; row < h; ++row)
    std::memcpy(y + static_cast<size_t>(row) * width_, frame->data[0] + static_cast<ptrdiff_t>(row) * frame->linesize[0],
                static_cast<size_t>(w));
  for (int row = 0; row < h / 2; ++row) {
    std::memcpy(u + static_cast<size_t>(row) * (width_ / 2),
                frame->data[1] + static_cast<ptrdiff_t>(row) * frame->linesize[1], static_cast<size_t>(w / 2));
    std::memcpy(v + static_cast<size_t>(row) * (width_ / 2),
                frame->data[2] + static_cast<ptrdiff_t>(row) * frame->linesize[2], static_cast<size_t>(w / 2));
  }
  return true;
}

unsigned char* ACH264Decoder::Decode(int first, const unsigned char* data, int length, int* outLength, int width,
                                     int height, unsigned char* output) {
  lastHadPicture_ = false;
  if (data == nullptr || output == nullptr || length < 0 || length > kMaxPacketBytes) return nullptr;
  width_ = width;
  height_ = height;
  if (firstCall_ && !SetUp()) return nullptr;

  AVPacket* pkt = av_->packet.get();
  std::memcpy(av_->input.get(), data, static_cast<size_t>(length));
  std::memset(av_->input.get() + length, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  pkt->data = av_->input.get();
  pkt->size = length;
  pkt->stream_index = first;
  pkt->pts = AV_NOPTS_VALUE;
  pkt->dts = AV_NOPTS_VALUE;

  const bool fits = StoredSizeFits();
  bool refused = !fits;
  AVCodecContext* ctx = av_->context.get();
  AVFrame* frame = av_->frame.get();
  auto drain = [&] {
    while (avcodec_receive_frame(ctx, frame) == 0) {
      if (fits && CopyPicture(frame, output))
        lastHadPicture_ = true;
      else
        refused = true;
      av_frame_unref(frame);
    }
  };
  // An empty packet would start the decoder's end-of-stream drain.
  if (length > 0) {
    int rc = avcodec_send_packet(ctx, pkt);
    if (rc == AVERROR(EAGAIN)) {
      drain();
      rc = avcodec_send_packet(ctx, pkt);
    }
    // A packet the decoder rejects yields no picture; the next one decodes.
    drain();
  }
  pkt->data = nullptr;
  pkt->size = 0;

  if (refused) {
    // A refused picture may have been followed by one that was copied; the
    // call still reports nothing, so the caller never shows a mixed result.
    lastHadPicture_ = false;
    if (outLength != nullptr) *outLength = 0;
    return nullptr;
  }
  if (outLength != nullptr) *outLength = width_ * height_ * 3 / 2;
  return output;
}

}  // namespace media
