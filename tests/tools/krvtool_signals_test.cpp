// krvtool play ends on SIGINT and SIGTERM: the pipeline closes in order and
// the report of what was played still comes, exit 0.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "krvtool_run.h"

namespace {

using krvtest::Krvtool;
using krvtest::KrvtoolPath;
using krvtest::Slurp;

int ThreadsOf(pid_t pid) {
  DIR* d = ::opendir(("/proc/" + std::to_string(pid) + "/task").c_str());
  if (!d) return 0;
  int n = 0;
  while (dirent* e = ::readdir(d)) n += e->d_name[0] != '.';
  ::closedir(d);
  return n;
}

class KrvtoolSignalTest : public krvtest::TempPaths {};

TEST_F(KrvtoolSignalTest, PlayStopsOnIntAndTermAndStillReports) {
  const std::string rec = Temp("long.krv");
  ASSERT_EQ(Krvtool({"synth", rec, "--seconds", "30", "--size", "176x144", "--channels", "2"}).code, 0);
  for (int sig : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(sig);
    const std::string out = Temp("out" + std::to_string(sig)), err = Temp("err" + std::to_string(sig));
    const std::string tool = KrvtoolPath();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 1);
      ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
      // At x1 the 30-second recording is far from its end when the signal comes.
      ::execl(tool.c_str(), tool.c_str(), "play", rec.c_str(), "--speed", "16", sig == SIGTERM ? "--report" : nullptr,
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    // The pipeline's threads run (the handlers are in place before they start).
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ThreadsOf(pid) < 8 && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ::kill(pid, sig);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << Slurp(err);
    EXPECT_NE(Slurp(err).find("stopped by signal " + std::to_string(sig)), std::string::npos) << Slurp(err);
    const std::string printed = Slurp(out);
    if (sig == SIGTERM)
      EXPECT_NE(printed.find("\"ended\": false"), std::string::npos) << printed;
    else
      EXPECT_NE(printed.find("pictures, stopped"), std::string::npos) << printed;
  }
}

}  // namespace
