#include "playback/play_state.h"

#include <cstring>

#include "media/ac_movie_filter.h"
#include "media/ac_play_clock.h"
#include "media/ac_sound_player.h"

namespace playback {

namespace {

inline char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

void SharedPath::Set(const char* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t n = text ? ::strnlen(text, kCapacity - 1) : 0;
  if (n) std::memcpy(text_, text, n);
  text_[n] = '\0';
}

std::string SharedPath::Get() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::string(text_);
}

size_t SharedPath::CopyTo(char* out, size_t capacity) const {
  if (!out || capacity == 0) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  size_t n = ::strnlen(text_, kCapacity - 1);
  if (n > capacity - 1) n = capacity - 1;
  std::memcpy(out, text_, n);
  out[n] = '\0';
  return n;
}

size_t SharedPath::Length() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ::strnlen(text_, kCapacity - 1);
}

bool SharedPath::EqualsNoCase(const SharedPath& other) const {
  if (&other == this) return true;
  // One lock at a time: copy the other text first, so that two threads
  // comparing a with b and b with a never wait on each other.
  char theirs[kCapacity];
  other.CopyTo(theirs, sizeof theirs);
  std::lock_guard<std::mutex> lock(mutex_);
  for (size_t i = 0;; ++i) {
    if (lowerAscii(text_[i]) != lowerAscii(theirs[i])) return false;
    if (text_[i] == '\0') return true;
  }
}

void PlayState::WakeRefusedPushes() {
  if (movieFilter) movieFilter->WakeRoomWaiters();
  if (soundPlayer) soundPlayer->WakeRoomWaiters();
  if (clock) clock->WakeRoomWaiters();
}

}  // namespace playback
