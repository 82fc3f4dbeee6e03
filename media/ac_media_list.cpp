#include "media/ac_media_list.h"

#include <cstring>

namespace media {

namespace {

// A payload the ring never stores: too long for a slot, a negative length, or
// a length without data.
bool unstorable(const unsigned char* data, int length, int capacity) {
  return length < 0 || length > capacity || (length > 0 && data == nullptr);
}

// Bytes to copy out: the stored length or the destination's size, whichever
// is smaller; nothing without a destination.
int copyLength(const unsigned char* destination, const int* length, int stored) {
  if (destination == nullptr || length == nullptr || *length <= 0) return 0;
  return stored < *length ? stored : *length;
}

}  // namespace

ACMediaList::ACMediaList() : storage_(new unsigned char[static_cast<size_t>(kSlots) * kSlotCapacity]) {
  for (int i = 0; i < kSlots; ++i) {
    slots_[i].data = storage_.get() + static_cast<size_t>(i) * kSlotCapacity;
    slots_[i].capacity = kSlotCapacity;
  }
}

ACMediaList::~ACMediaList() = default;

int ACMediaList::PushPacket(int type, int64_t dts, const unsigned char* data, int length, int width, int height) {
  if (readIndex_ == writeIndex_ && full_) return 0;
  ACMediaPacket& slot = slots_[writeIndex_];
  if (unstorable(data, length, slot.capacity)) return 1;  // dropped, reported as taken
  slot.type = type;
  slot.dts = dts;
  slot.width = width;
  slot.height = height;
  slot.length = length;
  if (length > 0) std::memcpy(slot.data, data, static_cast<size_t>(length));
  writeIndex_ = (writeIndex_ + 1) % kSlots;
  if (writeIndex_ == readIndex_) full_ = 1;
  NoteData();
  return 1;
}

int ACMediaList::PopPacket(int* type, int64_t* dts, unsigned char* destination, int* length, int* width,
                           int* height) {
  if (readIndex_ == writeIndex_ && !full_) return 0;
  const ACMediaPacket& slot = slots_[readIndex_];
  if (type != nullptr) *type = slot.type;
  if (dts != nullptr) *dts = slot.dts;
  if (width != nullptr) *width = slot.width;
  if (height != nullptr) *height = slot.height;
  const int n = copyLength(destination, length, slot.length);
  if (n > 0) std::memcpy(destination, slot.data, static_cast<size_t>(n));
  if (length != nullptr) *length = n;
  readIndex_ = (readIndex_ + 1) % kSlots;
  if (readIndex_ == writeIndex_) full_ = 0;
  NoteSpace();
  return 1;
}

void ACMediaList::ClearPackets() {
  writeIndex_ = 0;
  readIndex_ = 0;
  full_ = 0;
  NoteSpace();
}

int ACMediaList::Count() const {
  // The full flag means something only while the indices meet.
  if (readIndex_ == writeIndex_) return full_ ? kSlots : 0;
  return (writeIndex_ - readIndex_ + kSlots) % kSlots;
}

ACAMFDataList::ACAMFDataList() : storage_(new unsigned char[static_cast<size_t>(kSlots) * kSlotCapacity]) {
  for (int i = 0; i < kSlots; ++i) {
    slots_[i].data = storage_.get() + static_cast<size_t>(i) * kSlotCapacity;
    slots_[i].capacity = kSlotCapacity;
  }
}

ACAMFDataList::~ACAMFDataList() = default;

int ACAMFDataList::PushPacket(int64_t key, const unsigned char* data, int length) {
  if (readIndex_ == writeIndex_ && full_) return 0;
  Slot& slot = slots_[writeIndex_];
  if (unstorable(data, length, slot.capacity)) return 1;
  slot.key = key;
  slot.length = length;
  if (length > 0) std::memcpy(slot.data, data, static_cast<size_t>(length));
  writeIndex_ = (writeIndex_ + 1) % kSlots;
  if (writeIndex_ == readIndex_) full_ = 1;
  NoteData();
  return 1;
}

int ACAMFDataList::PopPacket(int64_t* key, unsigned char* destination, int* length) {
  if (readIndex_ == writeIndex_ && !full_) return 0;
  const Slot& slot = slots_[readIndex_];
  if (key != nullptr) *key = slot.key;
  const int n = copyLength(destination, length, slot.length);
  if (n > 0) std::memcpy(destination, slot.data, static_cast<size_t>(n));
  if (length != nullptr) *length = n;
  readIndex_ = (readIndex_ + 1) % kSlots;
  if (readIndex_ == writeIndex_) full_ = 0;
  NoteSpace();
  return 1;
}

void ACAMFDataList::ClearPackets() {
  writeIndex_ = 0;
  readIndex_ = 0;
  full_ = 0;
  NoteSpace();
}

int ACAMFDataList::Count() const {
  // The full flag means something only while the indices meet.
  if (readIndex_ == writeIndex_) return full_ ? kSlots : 0;
  return (writeIndex_ - readIndex_ + kSlots) % kSlots;
}

}  // namespace media
