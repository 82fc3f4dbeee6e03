// Where the time of a catalogue scan goes, measured inside one process (so
// without program start-up):
//   bench_catalogue_parts DIR
// prints, for the tree DIR, the milliseconds of
//   walk   every file opened and its first 4 KB read (the bare walk)
//   probe  the same walk with the container's KRV probe instead of the read
//   scan   ScanRecordFolder: names, probe, size, rows, order
// each run twice, the second run reported (the first warms the page cache).
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "core/catalogue.h"
#include "core/record_probe.h"
#include "tree_walk.h"

namespace {

template <typename F>
double TimeMs(F&& f) {
  f();  // warm-up
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_catalogue_parts DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::vector<char> buf(4096);
  long walked = 0, probed = 0;
  std::size_t listed = 0;
  double walk = TimeMs([&] {
    walked = corvane::bench::WalkTree(dir, [&](const std::string& p) {
      return corvane::bench::ReadFirst4K(p, buf.data());
    });
  });
  double probe = TimeMs([&] {
    probed = corvane::bench::WalkTree(dir, [](const std::string& p) {
      corvane::ProbeFacts facts;
      corvane::ProbeKrv(p, &facts);
      return true;
    });
  });
  double scan = TimeMs([&] {
    corvane::RecordList list;
    corvane::ScanRecordFolder(list, dir, corvane::kAllRecordTypes, 0, std::time(nullptr), "", 0);
    listed = list.size();
  });
  std::printf("walk %.1f ms (%ld files), probe %.1f ms (%ld), scan %.1f ms (%zu listed): probe/walk %.2f, scan/walk %.2f\n",
              walk, walked, probe, probed, scan, listed, probe / walk, scan / walk);
  return 0;
}
