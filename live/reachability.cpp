#include "live/reachability.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

namespace live {

namespace {

struct AddrInfo {
  addrinfo* list = nullptr;
  ~AddrInfo() {
    if (list != nullptr) freeaddrinfo(list);
  }
};

struct Socket {
  int fd = -1;
  ~Socket() {
    if (fd >= 0) {
      shutdown(fd, SHUT_RDWR);
      close(fd);
    }
  }
};

}  // namespace

Reach CheckReachable(const std::string& host, int port, int timeoutMs) {
  if (host.empty() || port <= 0 || port > 65535) return Reach::kUnresolved;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  // Numeric addresses are what the host file holds; a name is resolved too.
  AddrInfo ai;
  const std::string service = std::to_string(port);
  if (getaddrinfo(host.c_str(), service.c_str(), &hints, &ai.list) != 0 || ai.list == nullptr)
    return Reach::kUnresolved;

  Socket s;
  s.fd = socket(ai.list->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (s.fd < 0) return Reach::kError;
  if (connect(s.fd, ai.list->ai_addr, ai.list->ai_addrlen) == 0) return Reach::kReady;
  if (errno == ECONNREFUSED) return Reach::kRefused;
  if (errno != EINPROGRESS) return Reach::kError;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) return Reach::kTimeout;
    pollfd p{s.fd, POLLOUT, 0};
    const int r = poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r == 0) return Reach::kTimeout;
    if (r < 0) return Reach::kError;
    break;
  }
  // Ready for writing says the attempt ended, not that it succeeded.
  int err = 0;
  socklen_t len = sizeof err;
  if (getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return Reach::kError;
  if (err == 0) return Reach::kReady;
  return err == ECONNREFUSED ? Reach::kRefused : Reach::kError;
}

const char* ReachText(Reach r) {
  switch (r) {
    case Reach::kReady:
      return "reachable";
    case Reach::kRefused:
      return "Connection refused";
    case Reach::kTimeout:
      return "Not reachable";
    case Reach::kUnresolved:
      return "Not reachable (unknown host)";
    case Reach::kError:
      return "Not reachable";
  }
  return "Not reachable";
}

}  // namespace live
