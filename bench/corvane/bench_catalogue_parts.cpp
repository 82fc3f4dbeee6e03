// Where the time of a catalogue scan goes, measured inside one process (so
// without program start-up):
//   bench_catalogue_parts DIR [ROUNDS]
// prints, for the tree DIR, the milliseconds of
//   walk   every file opened and its first 4 KB read (the bare walk)
//   probe  the same walk with the container's KRV probe instead of the read
//   scan   ScanRecordFolder: names, probe, rows, order
// after one untimed run of each (which warms the page cache), the three are
// timed in turn ROUNDS times (default 7): the medians and the medians of the
// per-round ratios are printed, so that a burst of load on a shared machine
// moves one round, not the figure.
//   bench_catalogue_parts DIR walk|probe|scan
// runs that one part once, untimed, and prints the file count: the target
// of scan_instructions.sh, which counts the part's instructions under
// callgrind (the parts are the functions WalkPart, ProbePart and ScanPart).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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
  auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: bench_catalogue_parts DIR [ROUNDS | walk | probe | scan]\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::vector<char> buf(4096);
  const std::string mode = argc == 3 ? argv[2] : "";
  if (mode == "walk" || mode == "probe" || mode == "scan") {
    if (mode == "walk") std::printf("%ld\n", WalkPart(dir, buf.data()));
    else if (mode == "probe") std::printf("%ld\n", ProbePart(dir));
    else std::printf("%zu\n", ScanPart(dir));
    return 0;
  }
  const int rounds = mode.empty() ? 7 : std::atoi(mode.c_str());
  if (rounds < 1) return 2;
  long walked = WalkPart(dir, buf.data()), probed = ProbePart(dir);
  std::size_t listed = ScanPart(dir);
  std::vector<double> walk, probe, scan, probeRatio, scanRatio;
  for (int r = 0; r < rounds; ++r) {
    walk.push_back(TimeMs([&] { WalkPart(dir, buf.data()); }));
    probe.push_back(TimeMs([&] { ProbePart(dir); }));
    scan.push_back(TimeMs([&] { ScanPart(dir); }));
    probeRatio.push_back(probe.back() / walk.back());
    scanRatio.push_back(scan.back() / walk.back());
  }
  std::printf("walk %.1f ms (%ld files), probe %.1f ms (%ld), scan %.1f ms (%zu listed): probe/walk %.2f, scan/walk %.2f"
              " (medians of %d rounds)\n",
              Median(walk), walked, Median(probe), probed, Median(scan), listed, Median(probeRatio),
              Median(scanRatio), rounds);
  return 0;
}
