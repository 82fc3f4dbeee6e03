// krvtool live runs in krvtool-media (it decodes); krvtool hands it on.
#include "command.h"
#include "live_command.h"
#include "media_commands.h"

namespace krvtool {
namespace {

int runLive(const std::vector<std::string>& args) { return RunMediaCommand("live", args); }

KRVTOOL_COMMAND("live", kLiveSummary, nullptr, runLive);

}  // namespace
}  // namespace krvtool
