// The transport of the agent link: one TCP connection to the agent's port on the local host,
// cut into messages that end with '>' and a line feed.
#ifndef VEL_LINK_CLIENTSOCKET_H
#define VEL_LINK_CLIENTSOCKET_H

#include <netinet/in.h>

#include "HOZString.h"

class ClientSocket {
 public:
  // A line longer than this without its terminator is traced and skipped, so that a peer cannot
  // make the link hold unbounded memory.
  static constexpr int kDefaultMaxMessage = 16 * 1024 * 1024;

  // ipAddress is not copied; it must outlive the socket.
  ClientSocket(int port, char* ipAddress);
  ~ClientSocket();
  ClientSocket(const ClientSocket&) = delete;
  ClientSocket& operator=(const ClientSocket&) = delete;

  // Connects with up to four attempts, pausing 2, 4, 8 and 16 seconds after the failures.
  bool open();
  // Closes the descriptor; the leftover of the last read stays.
  void closeSocket();
  // Sends all bytes of the message, completing short sends. Callers serialise writes with the
  // program's send mutex; the socket does not lock.
  bool write(HOZ::String* message);
  // Empties message and fills it with the next complete message, without its line feed (it ends
  // with '>'). False when the peer closed the connection or the read failed. Only one thread
  // reads.
  bool receive(HOZ::String* message);

  int getSocket() const { return socket; }
  // For tests: the longest line accepted, and the pause before the first retry in seconds
  // (doubled after every failed attempt).
  void setMaxMessageLength(int n) { maxMessage = n > 0 ? n : kDefaultMaxMessage; }
  void setFirstRetryPause(unsigned seconds) { firstPause = seconds; }

  sockaddr_in address;
  int port;
  const char* ipAddress;
  int socket;
  HOZ::String* leftover;  // owned; null when there is nothing behind the last message

 private:
  // Moves the first complete message of the leftover into message; true when there was one.
  bool takeFromLeftover(HOZ::String* message);

  int maxMessage = kDefaultMaxMessage;
  unsigned firstPause = 2;
  bool discarding = false;  // skipping the rest of an over-long line
};

#endif  // VEL_LINK_CLIENTSOCKET_H
