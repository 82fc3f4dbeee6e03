// Writes the next shown picture of a channel as a JPEG file on request.
//
// Sits behind the video filter and sees every shown picture of every
// channel. A request marks a channel; the next picture shown on it is
// converted to planar YUV 4:2:0 on the display thread and written by a short
// worker into "<folder><channel>/<date><time><counter>.jpg".
#pragma once

#include <cstdint>
#include <functional>
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
};

}  // namespace media
