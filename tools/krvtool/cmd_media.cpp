// krvtool's entries for the commands of krvtool-media (media_commands.h).
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "command.h"
#include "core/settings.h"
#include "media_commands.h"

namespace krvtool {

int RunMediaCommand(const char* name, const std::vector<std::string>& args) {
  const std::string dir = corvane::ExecutableDir();
  if (dir.empty()) {
    std::fprintf(stderr, "krvtool %s: cannot find krvtool's folder\n", name);
    return kFileError;
  }
  const std::string program = dir + "krvtool-media";
  std::vector<char*> argv;
  argv.reserve(args.size() + 3);
  argv.push_back(const_cast<char*>(program.c_str()));
  argv.push_back(const_cast<char*>(name));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  ::execv(program.c_str(), argv.data());
  std::fprintf(stderr, "krvtool %s: cannot run %s: %s\n", name, program.c_str(), std::strerror(errno));
  return kFileError;
}

namespace {

// A command without usage text takes its arguments as they are, --help too:
// krvtool-media prints the usage.
int runFramemd5(const std::vector<std::string>& args) { return RunMediaCommand("framemd5", args); }
int runPlay(const std::vector<std::string>& args) { return RunMediaCommand("play", args); }
int runSynth(const std::vector<std::string>& args) { return RunMediaCommand("synth", args); }
int runSynthFolder(const std::vector<std::string>& args) { return RunMediaCommand("synth-folder", args); }
int runExport(const std::vector<std::string>& args) { return RunMediaCommand("export", args); }

KRVTOOL_COMMAND("framemd5", kFramemd5Summary, nullptr, runFramemd5);
KRVTOOL_COMMAND("play", kPlaySummary, nullptr, runPlay);
KRVTOOL_COMMAND("synth", kSynthSummary, nullptr, runSynth);
KRVTOOL_COMMAND("synth-folder", kSynthFolderSummary, nullptr, runSynthFolder);
KRVTOOL_COMMAND("export", kExportSummary, nullptr, runExport);

}  // namespace

}  // namespace krvtool
