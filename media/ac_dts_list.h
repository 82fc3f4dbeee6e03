// The key-ordered list of timestamps that drives the playback clock: 200
// entries and a singly linked chain of the entries in use, in ascending key
// order, with the markers (-1, -2, -3) kept at the end in arrival order. An
// ordinary key pushed while a -1 marker is in the list goes among the entries
// after that marker.
//
// No operation takes a lock: the reader (PushDTS) and the clock thread
// (PopDTS) call them between the list's own Lock(-1) and Unlock, which
// guards every field below. An insert signals "data", a pop or a clear
// signals "space" (ACQueueSignals).
#pragma once

#include <cstdint>

#include "media/ac_object.h"
#include "media/ac_records.h"

namespace media {

class ACDTSList : public virtual ACObject, public ACQueueSignals {
 public:
  static constexpr int kSlots = 200;
  // What PopDTS returns for an empty list.
  static constexpr int64_t kEmptyKey = 1;

  ACDTSList();
  ~ACDTSList() override;

  // 0 = all 200 entries in use; 1 = inserted.
  int PushDTS(int64_t key, int64_t value);
  // The key of the first entry (its value through *value), or 1 when the
  // list is empty. A real key of 1 looks the same: use the overload below
  // where that matters.
  int64_t PopDTS(int64_t* value);
  // As above; *found tells an entry (true) from an empty list (false).
  int64_t PopDTS(int64_t* value, bool* found);
  // All entries free with key and value 0; the chain empty.
  void ClearDTS();

  // Entries in use (for tests; call under the lock).
  int Count() const;

 private:
  int Insert(int64_t key, int64_t value);

  ACDTSEntry entries_[kSlots];
  ACDTSEntry* head_ = nullptr;
};

}  // namespace media
