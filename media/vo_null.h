// The null renderer: draws nowhere, counts the pictures it was given and,
// when asked to, keeps a checksum of them. Used by tests and krvtool, and the
// default of CreateRenderer. Its window handle, when not null, points to a
// VoNullStats that the renderer fills in (the caller keeps it alive while the
// renderer lives); the stats are read from any thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "media/impl_ac_virtual_movie.h"

namespace media {

struct VoNullStats {
  // Client size the renderer reports for its "window".
  std::atomic<int> clientWidth{704};
  std::atomic<int> clientHeight{576};
  std::atomic<int64_t> frames{0};          // successful Draw calls
  // Set by whoever reads lastAdler and checksum, before the pictures it
  // wants summed are drawn: reading every picture costs as much as a good
  // part of a decode, so a renderer nobody asks leaves both at 0.
  std::atomic<bool> keepChecksums{false};
  // Adler-32 of the last picture (width x height x 2 bytes) and a running
  // combination of all of them: checksum = checksum * 31 + adler.
  std::atomic<uint32_t> lastAdler{0};
  std::atomic<uint64_t> checksum{0};
  std::atomic<int> lastWidth{0};
  std::atomic<int> lastHeight{0};
};

class VoNull : public ImplACVirtualMovie {
 public:
  VoNull() = default;
  ~VoNull() override;

 protected:
  int CreateDevice() override { return 1; }
  void ReleasePrimaryAndDevice() override {}
  void ReleaseSource() override {}
  void ReleaseDestination() override {}
  void ReleaseClipper() override {}
  int CreateYUY2Source() override;
  int CreateYUY2Destination() override { return 1; }
  int CreateRGBSource() override;
  int CreateRGBDestination() override { return 1; }
  int CopyAndPresent(const unsigned char* picture) override;
  int Present() override { return initialised_; }
  bool WindowClientSize(int* width, int* height) override;

 private:
  VoNullStats* stats() const { return static_cast<VoNullStats*>(window_); }
};

// The factory of the null backend.
ImplACVirtualMovie* CreateNullRenderer(ACWindowHandle window);

}  // namespace media
