// A loopback listener that plays the agent's end of the link in tests: it accepts the link's
// connection, reads its lines and writes requests. Every wait is bounded (2 s), so a broken link
// fails a test instead of hanging it.
#ifndef VEL_TESTS_SUPPORT_LINKPEER_H
#define VEL_TESTS_SUPPORT_LINKPEER_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace veltest {

class LinkPeer {
 public:
  LinkPeer() {
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(m_listen, 8);
    socklen_t len = sizeof a;
    getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len);
    m_port = ntohs(a.sin_port);
  }
  ~LinkPeer() {
    closeConnection();
    if (m_listen >= 0) ::close(m_listen);
  }
  LinkPeer(const LinkPeer&) = delete;
  LinkPeer& operator=(const LinkPeer&) = delete;

  int port() const { return m_port; }
  int fd() const { return m_conn; }

  // Accepts the pending connection; false when none arrives within the wait.
  bool accept(int timeoutMs = 2000) {
    pollfd p{m_listen, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1) return false;
    closeConnection();
    m_conn = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    m_buffered.clear();
    return m_conn >= 0;
  }

  // The next line the link wrote, line feed included; empty on time-out or end of stream.
  std::string readLine(int timeoutMs = 2000) {
    for (;;) {
      size_t nl = m_buffered.find('\n');
      if (nl != std::string::npos) {
        std::string line = m_buffered.substr(0, nl + 1);
        m_buffered.erase(0, nl + 1);
        return line;
      }
      if (!fill(timeoutMs)) return std::string();
    }
  }

  // True when nothing more arrives within the wait (no further message was written).
  bool quiet(int timeoutMs = 100) {
    if (!m_buffered.empty()) return false;
    pollfd p{m_conn, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) == 0) return true;
    char c;
    return recv(m_conn, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 0;  // closed counts as quiet
  }

  bool send(const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
      ssize_t n = ::send(m_conn, text.data() + done, text.size() - done, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

  void closeConnection() {
    if (m_conn >= 0) ::close(m_conn);
    m_conn = -1;
  }

 private:
  bool fill(int timeoutMs) {
    if (m_conn < 0) return false;
    pollfd p{m_conn, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1) return false;
    char chunk[65536];
    ssize_t n = recv(m_conn, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    m_buffered.append(chunk, static_cast<size_t>(n));
    return true;
  }

  int m_listen = -1;
  int m_conn = -1;
  int m_port = 0;
  std::string m_buffered;
};

}  // namespace veltest

#endif  // VEL_TESTS_SUPPORT_LINKPEER_H
