// krvtool: reads, writes and plays KRV recordings from the command line.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "command.h"

static void printOverview(FILE* out) {
  std::fprintf(out, "usage: krvtool COMMAND [ARGS...]\n       krvtool COMMAND --help\n\ncommands:\n");
  auto list = krvtool::commands();
  std::sort(list.begin(), list.end(),
            [](const krvtool::Command& a, const krvtool::Command& b) { return std::strcmp(a.name, b.name) < 0; });
  for (const auto& c : list) std::fprintf(out, "  %-12s %s\n", c.name, c.summary);
}

int main(int argc, char** argv) {
  if (argc < 2) {
    printOverview(stderr);
    return krvtool::kUsage;
  }
  std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    printOverview(stdout);
    return krvtool::kOk;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  for (const auto& c : krvtool::commands()) {
    if (name != c.name) continue;
    if (c.usage && krvtool::wantsHelp(args)) {
      std::fputs(c.usage, stdout);
      return krvtool::kOk;
    }
    return c.run(args);
  }
  std::fprintf(stderr, "krvtool: unknown command '%s'\n", name.c_str());
  printOverview(stderr);
  return krvtool::kUsage;
}
