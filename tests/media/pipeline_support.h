// Shared by the pipeline tests: synthetic recordings read the way the
// reader thread reads them, a message sink that records posts, and the play
// gate held open for a test.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "media/ac_messages.h"
#include "media/ac_sync.h"

namespace pipelinetest {

struct Packet {
  int channel = 0;  // video: 0-3 (stream id), audio: 0-3 (stream id - 4)
  int codecId = 0;
  int64_t dtsMs = 0;
  int width = 0;
  int height = 0;
  std::vector<unsigned char> data;
};

// A KRV recording made by krvsynth in the test data folder (made once,
// shared by the test processes). Empty on failure.
std::string Recording(const std::string& name, int seconds, int channels, int width, int height);

// The video (kind 0) or audio (kind 1) packets of a recording, in file order.
std::vector<Packet> ReadPackets(const std::string& path, int kind);

// Records every posted message.
class RecordingSink : public media::ACMessageSink {
 public:
  struct Post {
    uint32_t message;
    intptr_t wParam;
    intptr_t lParam;
  };
  void PostMessage(uint32_t message, intptr_t wParam, intptr_t lParam) override;
  std::vector<Post> Posts();

 private:
  std::mutex mutex_;
  std::vector<Post> posts_;
};

// Polls `done` every 2 ms for up to timeoutMs; true when it became true.
template <typename F>
bool WaitFor(F&& done, int timeoutMs) {
  for (int waited = 0; waited < timeoutMs; waited += 2) {
    if (done()) return true;
    media::acSleepMs(2);
  }
  return done();
}

// Milliseconds on the steady clock.
int64_t NowMs();

}  // namespace pipelinetest
