// velsim-listen FILE [SECONDS]: stands in for a running Oracle listener in the demo. It listens
// on a free port of 127.0.0.1, finds a second free port that nothing listens on, writes both
// numbers ("UP DOWN") to FILE and then accepts and closes connections until it is killed or
// SECONDS (default 300) have passed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// A socket bound to a free loopback port; its port in port. -1 on failure.
int bindLoopback(int& port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  port = ntohs(a.sin_port);
  return fd;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: velsim-listen FILE [SECONDS]\n");
    return 2;
  }
  const long lifetime = argc > 2 ? atol(argv[2]) : 300;
  int up = 0;
  int down = 0;
  int fd = bindLoopback(up);
  int probe = bindLoopback(down);
  if (fd < 0 || probe < 0 || listen(fd, 64) != 0) {
    perror("velsim-listen");
    return 1;
  }
  close(probe);  // free again: nothing listens there
  const std::string tmp = std::string(argv[1]) + ".tmp";
  FILE* out = fopen(tmp.c_str(), "w");
  if (out == nullptr || fprintf(out, "%d %d\n", up, down) < 0 || fclose(out) != 0 ||
      rename(tmp.c_str(), argv[1]) != 0) {
    perror("velsim-listen");
    return 1;
  }
  const time_t end = time(nullptr) + lifetime;
  while (time(nullptr) < end) {
    pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, 1000) > 0) {
      int c = accept(fd, nullptr, nullptr);
      if (c >= 0) close(c);
    }
  }
  return 0;
}
