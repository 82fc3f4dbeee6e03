// Writes the next shown picture of a channel as a JPEG file on request.
//
// Sits behind the video filter and sees every shown picture of every
// channel. A request marks a channel; the next picture shown on it is
// converted to planar YUV 4:2:0 on the display thread and written by a short
// worker into "<folder><channel>/<date><time><counter>.jpg".
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "media/ac_object.h"

namespace media {

class ACSnapshotFilter : public virtual ACObject {
 public:
  static constexpr int kFilterType = 113;
  static constexpr int kRequestFlags = 36;
  static constexpr int kBuffers = 10;

  ACSnapshotFilter();
  ~ACSnapshotFilter() override;  // waits for running workers (bounded)

  virtual int InitFilter(ACParam* param);  // 1
  virtual int FinalFilter();               // 1
  virtual int getFilterType() { return kFilterType; }
  // Called by the video filter's ShowMovie under this filter's Lock.
  // 1 when a snapshot was started.
  virtual int TakeSnapshot(int channel, unsigned char* picture, int width, int height);

  // Main window: save the next picture of `channel` (0-based).
  void RequestSnapshot(int channel);

  // The snapshot folder, read at every snapshot (the program reads the
  // settings file there). Default "$HOME/KRSnap/". The folder text ends
  // with '/'; channel folders are made below it.
  void SetFolderProvider(std::function<std::string()> provider);

  // Called by a worker after it wrote (or failed to write) a file; for tests
  // and tools. Path and success.
  void SetWrittenObserver(std::function<void(const std::string& path, bool ok)> observer);

  // Waits up to timeoutMs until no snapshot is being written; true then.
  bool WaitIdle(int timeoutMs);

  // The folder used when no provider is set: "$HOME/KRSnap/" ("KRSnap/"
  // without a home).
  static std::string DefaultFolder();

 private:
  struct Job {
    int channelNumber = 0;  // 1-based
    int width = 0;
    int height = 0;
  };
  struct Buffer {
    std::atomic<int> busy{0};  // set by the display thread, cleared by the worker
    std::unique_ptr<unsigned char[]> data;
    size_t size = 0;
    Job job;
    ACThread worker;  // the worker writing this buffer's snapshot
  };
  void Work(Buffer* buffer);
  std::string Folder();

  int32_t positiveValues_[4] = {-1, -1, -1, -1};
  int32_t nonNegativeValues_[2] = {-1, -1};
  uint8_t byteValues_[4] = {128, 92, 128, 128};
  int32_t channelCount_ = -1;
  ACWindowHandle owner_ = nullptr;
  // Written by the window's thread, read and cleared by display threads.
  std::atomic<int> requests_[kRequestFlags] = {};
  std::atomic<int> otherRequests_[kRequestFlags] = {};
  Buffer buffers_[kBuffers];
  std::mutex settingsMutex_;  // guards the provider and the observer
  std::function<std::string()> folderProvider_;
  std::function<void(const std::string&, bool)> writtenObserver_;
  // The last folder that could not be made, said once on stderr (guarded by
  // settingsMutex_): every snapshot into it fails alike.
  std::string failedFolder_;
};

// Writes a planar YUV 4:2:0 picture (Y, then U, then V) as a baseline JPEG
// with 2x2 / 1x1 / 1x1 sampling at `quality`. On a file that cannot be
// opened it writes "can't open PATH\n" to stderr and returns false.
bool acWriteJpeg420(const std::string& path, const unsigned char* planar, int width, int height, int quality);

}  // namespace media
