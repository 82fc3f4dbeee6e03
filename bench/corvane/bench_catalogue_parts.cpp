// Where the time of a catalogue scan goes, measured inside one process (so
// without program start-up):
//   bench_catalogue_parts DIR
// prints, for the tree DIR, the milliseconds of
//   walk   every file opened and its first 4 KB read (the bare walk)
//   probe  the same walk with the container's KRV probe instead of the read
//   scan   ScanRecordFolder: names, probe, size, rows, order
// each run twice, the second run reported (the first warms the page cache).
//   bench_catalogue_parts DIR walk|probe|scan
// runs that one part once, untimed, and prints the file count: the target
// of scan_instructions.sh, which counts the part's instructions under
// callgrind (the parts are the functions WalkPart, ProbePart and ScanPart).
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "core/catalogue.h"
#include "core/record_probe.h"
#include "tree_walk.h"

namespace {

// Each part stores its count before returning, so that its call is never a
// tail jump: callgrind then sees the whole part inside the function.
volatile long partSink = 0;

[[gnu::noinline]] long WalkPart(const std::string& dir, char* buf) {
  long n = corvane::bench::WalkTree(dir, [&](const std::string& p) { return corvane::bench::ReadFirst4K(p, buf); });
  partSink = n;
  return n;
}

[[gnu::noinline]] long ProbePart(const std::string& dir) {
  long n = corvane::bench::WalkTree(dir, [](const std::string& p) {
    corvane::ProbeFacts facts;
    corvane::ProbeKrv(p, &facts);
    return true;
  });
  partSink = n;
  return n;
}

[[gnu::noinline]] std::size_t ScanPart(const std::string& dir) {
  corvane::RecordList list;
  corvane::ScanRecordFolder(list, dir, corvane::kAllRecordTypes, 0, std::time(nullptr), "", 0);
  partSink = static_cast<long>(list.size());
  return list.size();
}

template <typename F>
double TimeMs(F&& f) {
  f();  // warm-up
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: bench_catalogue_parts DIR [walk|probe|scan]\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::vector<char> buf(4096);
  if (argc == 3) {
    const std::string part = argv[2];
    if (part == "walk") std::printf("%ld\n", WalkPart(dir, buf.data()));
    else if (part == "probe") std::printf("%ld\n", ProbePart(dir));
    else if (part == "scan") std::printf("%zu\n", ScanPart(dir));
    else return 2;
    return 0;
  }
  long walked = 0, probed = 0;
  std::size_t listed = 0;
  double walk = TimeMs([&] { walked = WalkPart(dir, buf.data()); });
  double probe = TimeMs([&] { probed = ProbePart(dir); });
  double scan = TimeMs([&] { listed = ScanPart(dir); });
  std::printf("walk %.1f ms (%ld files), probe %.1f ms (%ld), scan %.1f ms (%zu listed): probe/walk %.2f, scan/walk %.2f\n",
              walk, walked, probe, probed, scan, listed, probe / walk, scan / walk);
  return 0;
}
