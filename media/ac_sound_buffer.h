// The ring of decoded sound between the sound player's decode thread
// (writer) and its feed thread (reader).
//
// Bytes are written into contiguous areas: when the space left before the
// end is too small, the valid data ends where the writer stands (the wrap
// limit) and the writer goes on at the start. No operation takes a lock:
// both sides call them between the ring's own Lock(-1) and Unlock, which
// guards every field below. A commit signals "data"; a read, drop or clear
// signals "space" (ACQueueSignals).
#pragma once

#include <cstdint>
#include <memory>

#include "media/ac_object.h"

namespace media {

class ACSoundBuffer : public virtual ACObject, public ACQueueSignals {
 public:
  explicit ACSoundBuffer(int capacityBytes);
  ~ACSoundBuffer() override;

  // A contiguous area to write into, at least `needed` bytes long, or null
  // (*available = 0) when none can be had now; the writer tries again
  // later. *available is the area's full size.
  unsigned char* WriteArea(int needed, int* available);
  // Takes n bytes written into the area just given.
  void Commit(int n);
  // Copies up to `bytes` bytes out (across the wrap limit); returns how many.
  int Read(unsigned char* destination, int bytes);
  // Bytes stored.
  int Stored() const;
  // Drops all stored bytes (read position := write position).
  void DropAll();
  // Empty: read = write = 0, full cleared, limit = capacity.
  void Clear();

  int Capacity() const { return capacity_; }

 private:
  bool Empty() const { return read_ == write_ && !full_; }

  std::unique_ptr<unsigned char[]> data_;
  const int capacity_;
  int read_ = 0;
  int write_ = 0;
  int limit_;  // end of the valid data when the writer has wrapped
  bool full_ = false;
};

}  // namespace media
