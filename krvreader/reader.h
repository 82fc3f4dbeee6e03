// One KRV recording opened for reading, as the reader thread opens it: the
// byte reader, the key-frame seek to 0 the recorder's software makes, the
// header; then packets one by one and both key-frame seeks. Everything is
// released when the object goes (or at Close), and the context can be
// opened again on another file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "krvreader/krv.h"

namespace krv {

class Reader {
 public:
  Reader();
  explicit Reader(const std::string& path) : Reader() { Open(path); }
  ~Reader();  // Close()
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  // Closes what is open, then opens `path` with a fresh context (nothing of
  // the previous file's streams or metadata carries over). False when the
  // file does not open; the result of the header (0, or -12 when the
  // layout asks for too many streams: the streams made are kept and
  // reading goes on) is in HeaderResult().
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return open_; }
  int HeaderResult() const { return headerResult_; }

  // The next packet into Packet(): its size (> 0), KRV_EPIPE (-32) at the
  // end, or another negative result for a payload that could not be read
  // (reading may go on). -2 when nothing is open.
  int Next();
  const RecordingPacket& Packet() const { return pkt_; }
  // The stream of the last packet, or null when its identifier names none.
  RecordingStream* PacketStream() const;
  RecordingStream* StreamById(int id) const;

  // The two key-frame seeks, to target_us in the streams' time base.
  bool SeekKeyframe(int64_t target_us);
  bool SeekKeyframeEstimate(int64_t target_us);

  RecordingContext* Context() { return ctx_.get(); }
  const RecordingContext* Context() const { return ctx_.get(); }
  int64_t DurationUs() const { return ctx_->duration; }

 private:
  std::unique_ptr<RecordingContext> ctx_;
  RecordingPacket pkt_{};
  bool open_ = false;
  int headerResult_ = 0;
};

}  // namespace krv
