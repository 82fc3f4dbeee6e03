#include "krvreader/reader.h"

#include <cstdio>

namespace krv {

Reader::Reader() : ctx_(new RecordingContext{}) {}

Reader::~Reader() {
  Close();
  packet_free(&pkt_);
}

void Reader::Close() {
  krv_read_close(ctx_.get());
  if (ctx_->pb) url_fclose(ctx_->pb);
  *ctx_ = RecordingContext{};
  open_ = false;
  headerResult_ = 0;
}

bool Reader::Open(const std::string& path) {
  Close();
  std::snprintf(ctx_->filename, sizeof ctx_->filename, "%s", path.c_str());
  if (url_fopen(&ctx_->pb, ctx_->filename, URL_RDONLY) < 0) {
    ctx_->pb = nullptr;
    return false;
  }
  open_ = true;
  headerResult_ = krv_read_open(ctx_.get());
  return true;
}

int Reader::Next() {
  if (!open_) return KRV_ENOENT;
  return krv_read_packet(ctx_.get(), &pkt_);
}

RecordingStream* Reader::StreamById(int id) const {
  for (RecordingStream* st : ctx_->streams)
    if (st && st->index == id) return st;
  return nullptr;
}

RecordingStream* Reader::PacketStream() const { return StreamById(pkt_.stream_index); }

bool Reader::SeekKeyframe(int64_t target_us) { return open_ && krv_seek_keyframe(ctx_.get(), target_us); }

bool Reader::SeekKeyframeEstimate(int64_t target_us) {
  return open_ && krv_seek_keyframe_estimate(ctx_.get(), target_us, ctx_->file_size, ctx_->duration);
}

}  // namespace krv
