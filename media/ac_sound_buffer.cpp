#include "media/ac_sound_buffer.h"

#include <cstring>

namespace media {

ACSoundBuffer::ACSoundBuffer(int capacityBytes)
    : data_(new unsigned char[static_cast<size_t>(capacityBytes)]), capacity_(capacityBytes), limit_(capacityBytes) {}

ACSoundBuffer::~ACSoundBuffer() = default;

unsigned char* ACSoundBuffer::WriteArea(int needed, int* available) {
  *available = 0;
  if (needed <= 0 || needed > capacity_ || full_) return nullptr;
  if (Empty()) {
    // Nothing stored: start again at the beginning, so the whole ring is
    // one area.
    read_ = write_ = 0;
    limit_ = capacity_;
  }
  if (write_ >= read_) {
    if (capacity_ - write_ >= needed) {
      limit_ = capacity_;
      *available = capacity_ - write_;
      return data_.get() + write_;
    }
    // The valid data would end here and the writer go on before the reader.
    // With the reader at 0 that would make the ring look empty (write = read,
    // full clear) while everything before the old write position is still
    // unread: the writer waits instead until the reader has moved on.
    if (read_ == 0) return nullptr;
    limit_ = write_;
    write_ = 0;
  }
  const int space = read_ - write_;
  if (space < needed) return nullptr;
  *available = space;
  return data_.get() + write_;
}

void ACSoundBuffer::Commit(int n) {
  if (n <= 0) return;
  write_ += n;
  if (write_ >= limit_) write_ -= limit_;
  if (write_ == read_) full_ = true;
  NoteData();
}

int ACSoundBuffer::Read(unsigned char* destination, int bytes) {
  int done = 0;
  while (done < bytes && !Empty()) {
    if (read_ >= limit_) read_ = 0;  // the reader reached the wrap limit
    const int end = (write_ > read_) ? write_ : limit_;
    int n = end - read_;
    if (n > bytes - done) n = bytes - done;
    if (n <= 0) break;
    std::memcpy(destination + done, data_.get() + read_, static_cast<size_t>(n));
    read_ += n;
    done += n;
    full_ = false;
    if (read_ >= limit_) read_ = 0;
  }
  if (done > 0) NoteSpace();
  return done;
}

int ACSoundBuffer::Stored() const {
  if (full_) return limit_;
  if (write_ >= read_) return write_ - read_;
  return limit_ - read_ + write_;
}

void ACSoundBuffer::DropAll() {
  read_ = write_;
  full_ = false;
  NoteSpace();
}

void ACSoundBuffer::Clear() {
  read_ = write_ = 0;
  full_ = false;
  limit_ = capacity_;
  NoteSpace();
}

}  // namespace media
