// The allocator's settings for a process that plays for hours.
#pragma once

namespace media {

// Fixes the C library's threshold above which an allocation gets a mapping
// of its own at its starting 128 KB. Left to move, the threshold rises to the
// largest such block freed so far; the H.264 decoder frees its tables and
// allocates them again at every flush (each recording opened, each seek), and
// those of about 170 KB then come from the decoding threads' heaps, which
// keep growing with the fragments left between them. With the threshold
// fixed they are mapped and given back each time; the heaps' own trim
// threshold goes back to its starting 128 KB too. Idempotent; does nothing
// outside glibc and under a sanitizer.
void FixHeapThresholds();

}  // namespace media
