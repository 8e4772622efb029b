// A minimal collector stand-in for velagent's tests: a blocking TCP client on 127.0.0.1 that
// writes bytes as given and reads line-feed framed lines with a time-out.
#ifndef VEL_TESTS_UNIT_AGENT_RAWCLIENT_H
#define VEL_TESTS_UNIT_AGENT_RAWCLIENT_H

#include <string>

class RawClient {
 public:
  RawClient() = default;
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connect(int port);
  bool send(const std::string& bytes);
  // The next line without its line feed; false on time-out or end of stream.
  bool readLine(std::string& line, int timeoutMs);
  // True when the peer closes the connection within the time-out (pending lines are dropped).
  bool waitEof(int timeoutMs);
  void close();

 private:
  int m_fd = -1;
  std::string m_buf;
};

#endif  // VEL_TESTS_UNIT_AGENT_RAWCLIENT_H
