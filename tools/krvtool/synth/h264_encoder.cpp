#include "synth/h264_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace krvsynth {

void H264Encoder::Deleter::operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
void H264Encoder::Deleter::operator()(AVFrame* f) const { av_frame_free(&f); }
void H264Encoder::Deleter::operator()(AVPacket* p) const { av_packet_free(&p); }

H264Encoder::H264Encoder() = default;
H264Encoder::~H264Encoder() = default;

bool H264Encoder::Open(int width, int height, int fps, int gop, int64_t bitRate, std::string* error) {
  // libx264 reports its settings and statistics at the default level.
  if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_ERROR);
  const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
  if (!codec) {
    *error = "libavcodec has no libx264 encoder";
    return false;
  }
  ctx_.reset(avcodec_alloc_context3(codec));
  frame_.reset(av_frame_alloc());
  pkt_.reset(av_packet_alloc());
  if (!ctx_ || !frame_ || !pkt_) {
    *error = "out of memory";
    return false;
  }
  AVCodecContext* c = ctx_.get();
  c->width = width;
  c->height = height;
  c->pix_fmt = AV_PIX_FMT_YUV420P;
  c->time_base = AVRational{1, fps};
  c->framerate = AVRational{fps, 1};
  c->gop_size = gop;
  c->keyint_min = gop;
  c->max_b_frames = 0;
  c->bit_rate = bitRate;
  c->thread_count = 1;
  av_opt_set(c->priv_data, "preset", "ultrafast", 0);
  av_opt_set(c->priv_data, "tune", "zerolatency", 0);
  av_opt_set(c->priv_data, "x264-params", "scenecut=0:rc-lookahead=0:sync-lookahead=0:sliced-threads=0", 0);
  av_opt_set_int(c->priv_data, "forced-idr", 1, 0);
  if (avcodec_open2(c, codec, nullptr) < 0) {
    *error = "could not open the libx264 encoder";
    return false;
  }
  frame_->format = AV_PIX_FMT_YUV420P;
  frame_->width = width;
  frame_->height = height;
  if (av_frame_get_buffer(frame_.get(), 0) < 0) {
    *error = "out of memory";
    return false;
  }
  gop_ = gop;
  return true;
}

PlanarPicture H264Encoder::Picture() {
  av_frame_make_writable(frame_.get());
  AVFrame* f = frame_.get();
  return PlanarPicture{f->data[0], f->data[1], f->data[2], f->linesize[0], f->linesize[1], f->width, f->height};
}

bool H264Encoder::Encode(int64_t frameIndex, EncodedPacket* out, std::string* error) {
  AVFrame* f = frame_.get();
  f->pts = frameIndex;
  f->pict_type = frameIndex % gop_ == 0 ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
  if (avcodec_send_frame(ctx_.get(), f) < 0) {
    *error = "the H.264 encoder refused a picture";
    return false;
  }
  int r = avcodec_receive_packet(ctx_.get(), pkt_.get());
  if (r < 0) {
    *error = "the H.264 encoder held a picture back";
    return false;
  }
  out->data.assign(pkt_->data, pkt_->data + pkt_->size);
  out->key = (pkt_->flags & AV_PKT_FLAG_KEY) != 0;
  out->frameIndex = frameIndex;
  av_packet_unref(pkt_.get());
  return true;
}

}  // namespace krvsynth
