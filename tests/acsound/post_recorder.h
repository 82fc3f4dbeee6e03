// Records the messages a mixer device posts, and lets a test wait for them.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "media/ac_messages.h"

namespace acsound::test {

class PostRecorder final : public media::ACMessageSink {
 public:
  void PostMessage(uint32_t message, intptr_t wParam, intptr_t) override {
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(message);
    lastWParam_ = wParam;
    cv_.notify_all();
  }
  size_t Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_.size();
  }
  // Waits until more than `seen` messages came, at most timeoutMs.
  bool WaitMoreThan(size_t seen, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return messages_.size() > seen; });
  }
  bool AllAre(uint32_t message) const {
    std::lock_guard<std::mutex> lock(mutex_);
    for (uint32_t m : messages_)
      if (m != message) return false;
    return true;
  }
  intptr_t LastWParam() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lastWParam_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<uint32_t> messages_;
  intptr_t lastWParam_ = 0;
};

}  // namespace acsound::test
