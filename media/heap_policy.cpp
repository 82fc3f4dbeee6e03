#include "media/heap_policy.h"

#include <cstdlib>  // defines __GLIBC__ on the GNU C library

// A sanitizer's allocator replaces the library's and takes no such settings.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define CORVANE_GLIBC_HEAP 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define CORVANE_GLIBC_HEAP 0
#endif
#endif
#if !defined(CORVANE_GLIBC_HEAP) && defined(__GLIBC__)
#define CORVANE_GLIBC_HEAP 1
#include <malloc.h>
#endif

#include "media/ac_log.h"

namespace media {

void FixHeapThresholds() {
#if CORVANE_GLIBC_HEAP
  // Both at the library's starting values: a threshold that moved before
  // this call has also moved the heaps' trim threshold to twice its size.
  constexpr int kMmapThresholdBytes = 128 * 1024;
  constexpr int kTrimThresholdBytes = 128 * 1024;
  // Once per process (a static's initialisation runs once, under a lock).
  static const bool fixed = [] {
    const bool ok = mallopt(M_MMAP_THRESHOLD, kMmapThresholdBytes) == 1 &&
                    mallopt(M_TRIM_THRESHOLD, kTrimThresholdBytes) == 1;
    if (!ok) LogLine(LogLevel::kError, "heap", "the allocation threshold could not be fixed");
    return ok;
  }();
  (void)fixed;
#endif
}

}  // namespace media
