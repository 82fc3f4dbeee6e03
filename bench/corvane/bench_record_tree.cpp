// Helper of list_vs_walk.sh.
//
//   bench_record_tree make OUT_DIR COUNT TEMPLATE...
//     Writes COUNT recordings into OUT_DIR as a recorder lays them out: one
//     folder per day (YYYYMMDD), 100 recordings a day ten minutes apart, the
//     record types cycling through all combinations, each file a copy of the
//     next TEMPLATE in turn (copies, not links: every file has its own pages).
//   bench_record_tree walk DIR
//     The bare walk the catalogue is measured against: every file of the tree
//     opened and its first 4 KB read. Prints the file count.
// Depends on nothing but the C library, so its start-up costs next to nothing.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tree_walk.h"

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

int Make(const std::string& out, long count, const std::vector<std::string>& templates) {
  std::vector<std::string> bytes;
  for (const auto& t : templates) {
    bytes.push_back(ReadAll(t));
    if (bytes.back().empty()) {
      std::fprintf(stderr, "bench_record_tree: %s: empty or unreadable\n", t.c_str());
      return 1;
    }
  }
  ::mkdir(out.c_str(), 0755);
  const std::time_t first = 1388534400;  // 2014-01-01 00:00:00 UTC
  for (long i = 0; i < count; ++i) {
    std::time_t start = first + (i / 100) * 86400 + (i % 100) * 600;
    std::tm tm{};
    ::gmtime_r(&start, &tm);
    char day[16], name[64];
    std::strftime(day, sizeof day, "%Y%m%d", &tm);
    int types = static_cast<int>(i % 15) + 1;  // 1..15: never all zero
    std::snprintf(name, sizeof name, "%04d%02d%02d%02d%02d%02d_%d%d%d%d.krv", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, (types >> 3) & 1, (types >> 2) & 1,
                  (types >> 1) & 1, types & 1);
    std::string folder = out + "/" + day;
    ::mkdir(folder.c_str(), 0755);
    std::ofstream f(folder + "/" + name, std::ios::binary | std::ios::trunc);
    const std::string& b = bytes[static_cast<std::size_t>(i) % bytes.size()];
    f.write(b.data(), static_cast<std::streamsize>(b.size()));
    if (!f) {
      std::fprintf(stderr, "bench_record_tree: cannot write %s/%s\n", folder.c_str(), name);
      return 1;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "walk" && argc == 3) {
    std::vector<char> buf(4096);
    std::printf("%ld\n", corvane::bench::WalkTree(argv[2], [&](const std::string& path) {
                  return corvane::bench::ReadFirst4K(path, buf.data());
                }));
    return 0;
  }
  if (mode == "make" && argc >= 5) {
    long count = std::strtol(argv[3], nullptr, 10);
    if (count <= 0) return 2;
    return Make(argv[2], count, std::vector<std::string>(argv + 4, argv + argc));
  }
  std::fprintf(stderr, "usage: bench_record_tree make OUT_DIR COUNT TEMPLATE... | walk DIR\n");
  return 2;
}
