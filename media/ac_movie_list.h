// The pool of decoded pictures between a channel's decode thread (producer)
// and its display thread (consumer): 25 slots with their own 811008-byte
// picture buffers, allocated when the pool is built.
//
// Every slot is in exactly one of: the free chain, the ready chain, the
// producer's hand, the consumer's hand. A picture the producer has filled
// becomes visible to the consumer only when the producer asks for its next
// slot; the consumer's picture stays valid and unchanged until its next
// PopFrame that hands out a newer picture, a ResetFrames included: a reset
// frees every other slot, and an empty pop keeps the consumer's picture, so a
// display that shows it again (hold, one-frame mode) never draws a buffer the
// producer is writing.
//
// No operation takes a lock: both sides call them between the pool's own
// Lock(-1) and Unlock, which guards every field below. A picture joining the
// ready chain signals "data"; a slot going back to the free chain (a pop or a
// reset) signals "space" (ACQueueSignals).
#pragma once

#include <cstdint>
#include <memory>

#include "media/ac_object.h"
#include "media/ac_records.h"

namespace media {

class ACMovieList : public virtual ACObject, public ACQueueSignals {
 public:
  static constexpr int kSlots = 25;
  static constexpr int kSlotCapacity = kMediaBufferBytes;

  ACMovieList();
  ~ACMovieList() override;

  // Producer. Releases the slot the producer held (it joins the ready chain),
  // then takes a free slot. 0 = no free slot (all out-values 0); 1 = *slot is
  // now held: its buffer and the addresses of its half-width, width and
  // height fields are handed out; the producer fills them and (*slot)->dts.
  int AcquireFrame(ACMovieFrame** slot, unsigned char** buffer, int32_t** halfWidth, int32_t** width,
                   int32_t** height);
  // Consumer. Takes the oldest ready picture, freeing the slot the consumer
  // held. 0 = nothing ready (the held slot stays held); 1 = the picture is
  // now held.
  int PopFrame(int64_t* dts, unsigned char** buffer, int32_t* halfWidth, int32_t* width, int32_t* height);
  // Forgets the ready chain and the producer's slot: every slot but the one
  // the consumer holds is free, in index order (all 25 when the consumer
  // holds none). Buffers are kept.
  void ResetFrames();

  // Pictures waiting in the ready chain (for tests; call under the lock).
  int ReadyCount() const;
  // Slots in the free chain (for tests; call under the lock).
  int FreeCount() const;

 private:
  std::unique_ptr<unsigned char[]> storage_;  // kSlots x kSlotCapacity
  ACMovieFrame slots_[kSlots];
  ACMovieFrame* readyHead_ = nullptr;  // oldest picture ready for the consumer
  ACMovieFrame* readyTail_ = nullptr;
  ACMovieFrame* producerSlot_ = nullptr;  // being filled by the producer
  ACMovieFrame* consumerSlot_ = nullptr;  // being shown by the consumer
  ACMovieFrame* freeHead_ = nullptr;
};

}  // namespace media
