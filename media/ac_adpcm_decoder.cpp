#include "media/ac_adpcm_decoder.h"

#include <cstdio>
#include <cstring>
#include <mutex>

#include "media/ac_sync.h"
#include "media/av_handles.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
}

namespace media {

struct ACADPCMDecoder::Handles {
  AVCodecContextPtr context;
  AVFramePtr frame;
  AVPacketPtr packet;
  std::unique_ptr<unsigned char[]> input;  // the packet plus libavcodec's zeroed padding
};

ACADPCMDecoder::ACADPCMDecoder(int codecId) : codecId_(codecId), output_(new unsigned char[kOutputBytes]) {}

ACADPCMDecoder::~ACADPCMDecoder() {
  std::lock_guard<ACCriticalSection> g(CodecLock);
  av_.reset();
}

int ACADPCMDecoder::Open() {
  opened_ = 1;
  openedCompanion_ = 0;
  return 1;
}

int ACADPCMDecoder::IsOpened() { return opened_; }

bool ACADPCMDecoder::SetUp() {
  std::unique_lock<ACCriticalSection> lock(CodecLock);
  const AVCodecID id = acAvCodecId(codecId_);
  codec_ = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
  if (codec_ == nullptr) {
    lock.unlock();
    std::fputs("pCodec not found\n", stderr);
    return false;
  }
  auto h = std::make_unique<Handles>();
  h->context.reset(avcodec_alloc_context3(codec_));
  bool ok = static_cast<bool>(h->context);
  if (ok) {
    AVCodecContext* c = h->context.get();
    c->codec_type = AVMEDIA_TYPE_AUDIO;
    c->sample_rate = 8000;
    av_channel_layout_default(&c->ch_layout, 1);
    c->bit_rate = 64000;
    ok = avcodec_open2(c, codec_, nullptr) >= 0;
  }
  if (ok) {
    h->frame.reset(av_frame_alloc());
    h->packet.reset(av_packet_alloc());
    h->input.reset(new unsigned char[kMaxPacketBytes + AV_INPUT_BUFFER_PADDING_SIZE]);
    ok = h->frame && h->packet;
  }
  if (!ok) {
    h.reset();
    lock.unlock();
    std::fputs("could not open pCodec\n", stderr);
    return false;
  }
  av_ = std::move(h);
  firstCall_ = 0;
  return true;
}

unsigned char* ACADPCMDecoder::Decode(int first, const unsigned char* data, int length, int* outLength, int, int,
                                      unsigned char*) {
  (void)first;
  if (data == nullptr) return nullptr;
  if (firstCall_ && !SetUp()) return nullptr;
  if (!output_ || length <= 0 || length > kMaxPacketBytes) return nullptr;

  std::lock_guard<ACCriticalSection> g(CodecLock);
  AVPacket* pkt = av_->packet.get();
  std::memcpy(av_->input.get(), data, static_cast<size_t>(length));
  std::memset(av_->input.get() + length, 0, AV_INPUT_BUFFER_PADDING_SIZE);
  pkt->data = av_->input.get();
  pkt->size = length;

  AVCodecContext* ctx = av_->context.get();
  AVFrame* frame = av_->frame.get();
  int written = 0;
  if (avcodec_send_packet(ctx, pkt) == 0) {
    // A packet holding several blocks gives several frames; keep them all, as
    // far as the output buffer reaches.
    while (avcodec_receive_frame(ctx, frame) == 0) {
      const int channels = frame->ch_layout.nb_channels;
      const bool interleavedS16 = frame->format == AV_SAMPLE_FMT_S16;
      const bool planarS16 = frame->format == AV_SAMPLE_FMT_S16P;
      if (channels >= 1 && frame->nb_samples > 0 && (interleavedS16 || (planarS16 && channels == 1))) {
        const int64_t bytes = static_cast<int64_t>(frame->nb_samples) * channels * 2;
        const int room = kOutputBytes - written;
        const int n = bytes < room ? static_cast<int>(bytes) : room;
        std::memcpy(output_.get() + written, frame->data[0], static_cast<size_t>(n));
        written += n;
      }
      av_frame_unref(frame);
    }
  }
  pkt->data = nullptr;
  pkt->size = 0;
  if (written < 1) return nullptr;
  if (outLength != nullptr) *outLength = written;
  return output_.get();
}

}  // namespace media
