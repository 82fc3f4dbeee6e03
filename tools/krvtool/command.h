// krvtool subcommands. Each cmd_*.cpp defines one command and registers it
// with KRVTOOL_COMMAND; main.cpp dispatches on the first argument.
//
// Exit codes shared by every command: 0 success, 1 a file could not be read or
// written (one line on stderr), 2 bad usage.
#pragma once

#include <string>
#include <vector>

namespace krvtool {

enum ExitCode { kOk = 0, kFileError = 1, kUsage = 2 };

struct Command {
  const char* name;
  const char* summary;  // one line for "krvtool --help"
  const char* usage;    // full text for "krvtool NAME --help"; null: run prints it
  int (*run)(const std::vector<std::string>& args);  // args after the command name
};

// Registers a command; used through KRVTOOL_COMMAND at namespace scope.
struct CommandRegistrar {
  explicit CommandRegistrar(const Command& c);
};

const std::vector<Command>& commands();

// True when args hold "--help" or "-h"; the dispatcher then prints the usage.
bool wantsHelp(const std::vector<std::string>& args);

// Prints "krvtool NAME: message" and the usage line to stderr; returns kUsage.
int usageError(const Command& c, const std::string& message);

}  // namespace krvtool

#define KRVTOOL_CONCAT2(a, b) a##b
#define KRVTOOL_CONCAT(a, b) KRVTOOL_CONCAT2(a, b)
#define KRVTOOL_COMMAND(...) \
  static const ::krvtool::CommandRegistrar KRVTOOL_CONCAT(krvtoolRegistrar_, __LINE__){::krvtool::Command{__VA_ARGS__}}
