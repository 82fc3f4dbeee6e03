// The reachability check made before a live channel is opened: a
// non-blocking TCP connect to the recorder, waited for at most a given time.
// Only a connect that completed counts: a refused or failed connect is told
// apart from one that did not finish in time.
#pragma once

#include <string>

namespace live {

enum class Reach {
  kReady,       // the connect completed
  kRefused,     // the host answered that nothing listens on the port
  kTimeout,     // no answer within the wait
  kUnresolved,  // the name could not be resolved
  kError,       // another failure (socket, route)
};

// Connects to host:port (TCP), waits at most timeoutMs, closes the socket.
Reach CheckReachable(const std::string& host, int port, int timeoutMs);

const char* ReachText(Reach r);

// The default wait: 0.3 s.
constexpr int kReachWaitMs = 300;

}  // namespace live
