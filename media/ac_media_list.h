// Fixed rings of compressed packets (ACMediaList, 20 slots in front of each
// decoder) and of vehicle data records (ACAMFDataList, 40 slots between the
// reader and the map and chart views). Every slot's buffer is allocated when
// the ring is built and reused; nothing is allocated afterwards.
//
// The ring operations take no lock: one producer and one consumer call them
// between the ring's own Lock(-1) and Unlock. All fields below are guarded by
// that lock. A push that stores signals "data", a pop or a clear signals
// "space" (ACQueueSignals): a consumer finding the ring empty, or a producer
// finding it full, waits on them outside the lock.
#pragma once

#include <cstdint>
#include <memory>

#include "media/ac_object.h"
#include "media/ac_records.h"

namespace media {

class ACMediaList : public virtual ACObject, public ACQueueSignals {
 public:
  static constexpr int kSlots = 20;
  static constexpr int kSlotCapacity = kMediaBufferBytes;

  ACMediaList();
  ~ACMediaList() override;

  // 0 = full (nothing stored); 1 = stored, or dropped because the payload is
  // longer than a slot (or its length is negative, or data is null while the
  // length is not 0).
  int PushPacket(int type, int64_t dts, const unsigned char* data, int length, int width, int height);
  // 0 = empty; 1 = one packet handed out. On entry *length is the size of
  // `destination`; on return the number of bytes copied (the smaller of the
  // packet's length and that size).
  int PopPacket(int* type, int64_t* dts, unsigned char* destination, int* length, int* width, int* height);
  // Empties the ring; the buffers are kept.
  void ClearPackets();

  // Packets waiting (for tests and diagnostics; call under the lock).
  int Count() const;

 private:
  std::unique_ptr<unsigned char[]> storage_;  // kSlots x kSlotCapacity
  ACMediaPacket slots_[kSlots];
  int writeIndex_ = 0;  // written by the producer
  int readIndex_ = 0;   // written by the consumer
  // Set by the producer when its index meets the consumer's, cleared by the
  // consumer when its index meets the producer's; read only while they meet.
  int full_ = 0;
};

class ACAMFDataList : public virtual ACObject, public ACQueueSignals {
 public:
  static constexpr int kSlots = 40;
  static constexpr int kSlotCapacity = 256;

  ACAMFDataList();
  ~ACAMFDataList() override;

  // As ACMediaList::PushPacket; records longer than 256 bytes are dropped.
  int PushPacket(int64_t key, const unsigned char* data, int length);
  // As ACMediaList::PopPacket.
  int PopPacket(int64_t* key, unsigned char* destination, int* length);
  void ClearPackets();
  int Count() const;

 private:
  struct Slot {
    int64_t key = 0;  // the record's DTS in ms
    unsigned char* data = nullptr;
    int32_t length = 0;
    int32_t capacity = 0;
  };
  std::unique_ptr<unsigned char[]> storage_;  // kSlots x kSlotCapacity
  Slot slots_[kSlots];
  int writeIndex_ = 0;
  int readIndex_ = 0;
  int full_ = 0;
};

}  // namespace media
