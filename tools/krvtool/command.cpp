#include "command.h"

#include <cstdio>

namespace krvtool {

static std::vector<Command>& registry() {
  static std::vector<Command> list;
  return list;
}

CommandRegistrar::CommandRegistrar(const Command& c) { registry().push_back(c); }

const std::vector<Command>& commands() { return registry(); }

bool wantsHelp(const std::vector<std::string>& args) {
  for (const auto& a : args)
    if (a == "--help" || a == "-h") return true;
  return false;
}

int usageError(const Command& c, const std::string& message) {
  std::fprintf(stderr, "krvtool %s: %s\n", c.name, message.c_str());
  std::fprintf(stderr, "%s", c.usage);
  return kUsage;
}

}  // namespace krvtool
