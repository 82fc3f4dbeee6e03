#include "media/ac_movie_list.h"

namespace media {

ACMovieList::ACMovieList() : storage_(new unsigned char[static_cast<size_t>(kSlots) * kSlotCapacity]) {
  for (int i = 0; i < kSlots; ++i) slots_[i].buffer = storage_.get() + static_cast<size_t>(i) * kSlotCapacity;
  ResetFrames();  // nothing held yet: all 25 slots free
}

ACMovieList::~ACMovieList() = default;

int ACMovieList::AcquireFrame(ACMovieFrame** slot, unsigned char** buffer, int32_t** halfWidth, int32_t** width,
                              int32_t** height) {
  if (producerSlot_ != nullptr) {
    producerSlot_->next = nullptr;
    if (readyTail_ == nullptr) {
      readyHead_ = readyTail_ = producerSlot_;
    } else {
      readyTail_->next = producerSlot_;
      readyTail_ = producerSlot_;
    }
    producerSlot_ = nullptr;
    NoteData();
  }
  if (slot != nullptr) *slot = nullptr;
  if (buffer != nullptr) *buffer = nullptr;
  if (halfWidth != nullptr) *halfWidth = nullptr;
  if (width != nullptr) *width = nullptr;
  if (height != nullptr) *height = nullptr;
  if (freeHead_ == nullptr) return 0;

  ACMovieFrame* f = freeHead_;
  freeHead_ = f->next;
  f->next = nullptr;
  producerSlot_ = f;
  if (slot != nullptr) *slot = f;
  if (buffer != nullptr) *buffer = f->buffer;
  if (halfWidth != nullptr) *halfWidth = &f->halfWidth;
  if (width != nullptr) *width = &f->width;
  if (height != nullptr) *height = &f->height;
  return 1;
}

int ACMovieList::PopFrame(int64_t* dts, unsigned char** buffer, int32_t* halfWidth, int32_t* width,
                          int32_t* height) {
  // An empty pop keeps the consumer's slot: the display may show that
  // picture again, and a freed slot could be refilled under it.
  if (readyHead_ == nullptr) return 0;
  if (consumerSlot_ != nullptr) {
    consumerSlot_->next = freeHead_;
    freeHead_ = consumerSlot_;
    consumerSlot_ = nullptr;
    NoteSpace();
  }

  ACMovieFrame* f = readyHead_;
  readyHead_ = f->next;
  if (readyHead_ == nullptr) readyTail_ = nullptr;
  f->next = nullptr;
  consumerSlot_ = f;
  if (dts != nullptr) *dts = f->dts;
  if (buffer != nullptr) *buffer = f->buffer;
  if (halfWidth != nullptr) *halfWidth = f->halfWidth;
  if (width != nullptr) *width = f->width;
  if (height != nullptr) *height = f->height;
  return 1;
}

void ACMovieList::ResetFrames() {
  readyHead_ = readyTail_ = nullptr;
  producerSlot_ = nullptr;
  // Rebuild the free chain in index order, leaving out the consumer's slot:
  // the display thread may still be drawing (or blanking) that picture, and a
  // producer handed the same buffer would write into it at the same time.
  ACMovieFrame* tail = nullptr;
  freeHead_ = nullptr;
  for (int i = 0; i < kSlots; ++i) {
    ACMovieFrame* f = &slots_[i];
    if (f == consumerSlot_) continue;
    f->next = nullptr;
    if (tail == nullptr)
      freeHead_ = f;
    else
      tail->next = f;
    tail = f;
  }
  NoteSpace();
}

int ACMovieList::ReadyCount() const {
  int n = 0;
  for (const ACMovieFrame* f = readyHead_; f != nullptr; f = f->next) ++n;
  return n;
}

int ACMovieList::FreeCount() const {
  int n = 0;
  for (const ACMovieFrame* f = freeHead_; f != nullptr; f = f->next) ++n;
  return n;
}

}  // namespace media
