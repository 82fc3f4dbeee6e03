#include "media/ac_dts_list.h"

namespace media {

ACDTSList::ACDTSList() { ClearDTS(); }

ACDTSList::~ACDTSList() = default;

int ACDTSList::PushDTS(int64_t key, int64_t value) {
  const int inserted = Insert(key, value);
  if (inserted != 0) NoteData();
  return inserted;
}

int ACDTSList::Insert(int64_t key, int64_t value) {
  ACDTSEntry* e = nullptr;
  for (ACDTSEntry& candidate : entries_) {
    if (!candidate.inUse) {
      e = &candidate;
      break;
    }
  }
  if (e == nullptr) return 0;
  e->key = key;
  e->value = value;
  e->inUse = 1;
  e->next = nullptr;

  if (head_ == nullptr) {
    head_ = e;
    return 1;
  }
  if (acIsMarker(key)) {
    ACDTSEntry* last = head_;
    while (last->next != nullptr) last = last->next;
    last->next = e;
    return 1;
  }

  // Start at the first -1 marker, so that the timestamps of a new recording
  // go after it; at the head when there is none.
  ACDTSEntry* start = head_;
  ACDTSEntry* beforeStart = nullptr;
  for (ACDTSEntry *p = head_, *prev = nullptr; p != nullptr; prev = p, p = p->next) {
    if (p->key == DTS_BEGIN) {
      start = p;
      beforeStart = prev;
      break;
    }
  }
  if (start->key > key) {
    e->next = start;
    if (beforeStart == nullptr)
      head_ = e;
    else
      beforeStart->next = e;
    return 1;
  }
  ACDTSEntry* after = start;
  while (after->next != nullptr && after->next->key <= key) after = after->next;
  e->next = after->next;
  after->next = e;
  return 1;
}

int64_t ACDTSList::PopDTS(int64_t* value) {
  bool found = false;
  return PopDTS(value, &found);
}

int64_t ACDTSList::PopDTS(int64_t* value, bool* found) {
  if (head_ == nullptr) {
    if (found != nullptr) *found = false;
    return kEmptyKey;
  }
  ACDTSEntry* e = head_;
  head_ = e->next;
  e->next = nullptr;
  e->inUse = 0;
  if (value != nullptr) *value = e->value;
  if (found != nullptr) *found = true;
  NoteSpace();
  return e->key;
}

void ACDTSList::ClearDTS() {
  for (ACDTSEntry& e : entries_) {
    e.inUse = 0;
    e.key = 0;
    e.value = 0;
    e.next = nullptr;
  }
  head_ = nullptr;
  NoteSpace();
}

int ACDTSList::Count() const {
  int n = 0;
  for (const ACDTSEntry* e = head_; e != nullptr; e = e->next) ++n;
  return n;
}

}  // namespace media
