#include "ClientSocket.h"

#include <arpa/inet.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "MUT1.h"
#include "PEB1.h"

VEL_TRACE_UNIT("link");

namespace {

constexpr int kChunk = 4096;

// Position of the first '>' that is followed by a line feed within n bytes, or -1.
int findTerminator(const char* data, int n) {
  const char* p = data;
  const char* end = data + n;
  while (p < end) {
    const char* gt = static_cast<const char*>(memchr(p, '>', static_cast<size_t>(end - p)));
    if (!gt || gt + 1 >= end) return -1;
    if (gt[1] == '\n') return static_cast<int>(gt - data);
    p = gt + 1;
  }
  return -1;
}

// Appends n raw bytes, growing the text geometrically so that long lines cost linear time.
void appendChunk(HOZ::String* message, const char* data, int n) {
  if (n <= 0 || !message->buffer) return;
  long long need = static_cast<long long>(message->length) + n + 1;
  if (need > message->capacity) {
    long long doubled = 2LL * message->capacity;
    long long target = need > doubled ? need : doubled;
    if (target > 0x7FFFFFF0LL) target = need;
    message->reserve(static_cast<int>(target));
  }
  message->appendBytes(data, n);
}

}  // namespace

ClientSocket::ClientSocket(int port, char* ipAddress)
    : port(port), ipAddress(ipAddress), socket(-1), leftover(nullptr) {
  memset(&address, 0, sizeof address);
  VEL_DETAIL("ClientSocket initialized socket for ipaddr %s port %d", ipAddress ? ipAddress : "",
             port);
}

ClientSocket::~ClientSocket() {
  if (socket != -1) ::close(socket);
  delete leftover;
}

bool ClientSocket::open() {
  VEL_FLOW_ENTRY("ClientSocket::open");
  memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = inet_addr(ipAddress ? ipAddress : "");
  unsigned pause = firstPause;
  int retriesLeft = 3;
  for (;;) {
    socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0) {
      VEL_ERROR("Unable to open TCP socket, errno=%d\n", errno);
      socket = -1;
      VEL_RETURN(false);
    }
    VEL_DETAIL("Opened socket %d", socket);
    int one = 1;
    if (setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one) != 0) {
      VEL_ERROR("Error setting NODELAY option");
    }
    if (connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      VEL_DETAIL("Connect successful for socket %d addr %s port %d", socket, ipAddress, port);
      VEL_RETURN(true);
    }
    int err = errno;
    VEL_ERROR("Unable to connect to TCP socket for port %d, errno=%d - retrying....\n", port, err);
    PEB1_Sleep(pause);
    pause *= 2;
    ::close(socket);
    socket = -1;
    if (retriesLeft == 0) {
      VEL_ERROR("Unable to connect to TCP socket, errno=%d - retry count exceeded.\n", err);
      VEL_RETURN(false);
    }
    --retriesLeft;
  }
}

void ClientSocket::closeSocket() {
  if (socket != -1) ::close(socket);
  socket = -1;
}

bool ClientSocket::write(HOZ::String* message) {
  if (!message || !message->buffer) return false;
  if (VEL_TRACE_ON(MUT1_DETAIL)) {
    MUT1_Dump(&s_velTraceBlock, __LINE__, message->buffer, static_cast<size_t>(message->length),
              "send on socket %d \n", socket);
  }
  // A short count is completed: a message is only useful to the agent whole. MSG_NOSIGNAL turns
  // a vanished peer into an error result instead of a SIGPIPE.
  size_t sent = 0;
  size_t total = static_cast<size_t>(message->length);
  while (sent < total) {
    ssize_t n = ::send(socket, message->buffer + sent, total - sent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      VEL_ERROR("socket write error:%d\n", errno);
      return false;
    }
    sent += static_cast<size_t>(n);
  }
  return true;
}

bool ClientSocket::takeFromLeftover(HOZ::String* message) {
  int p = findTerminator(leftover->buffer, leftover->length);
  if (p < 0) return false;
  int restLength = leftover->length - (p + 2);
  HOZ::String* rest = nullptr;
  if (restLength > 0) {
    rest = new HOZ::String(restLength);
    rest->appendBytes(leftover->buffer + p + 2, restLength);
  }
  if (discarding) {
    // The tail of an over-long line ends here; what follows is the next message.
    discarding = false;
    message->clear();
  } else {
    VEL_DETAIL("Left over data contains a complete message, not reading any further this time");
    appendChunk(message, leftover->buffer, p + 1);
  }
  delete leftover;
  leftover = rest;
  return true;
}

bool ClientSocket::receive(HOZ::String* message) {
  if (!message) return false;
  message->clear();
  if (!message->buffer) return false;
  // pendingGt: the last byte gathered so far (kept or skipped) was '>', so a line feed at the
  // start of the next read completes the terminator.
  bool pendingGt = false;
  for (;;) {
    if (leftover && leftover->buffer && leftover->length > 0) {
      VEL_DETAIL("Have left over data from previous read, processing that");
      bool wasDiscarding = discarding;
      if (takeFromLeftover(message)) {
        if (wasDiscarding) continue;  // the skipped line ended; look at what followed it
        break;
      }
      VEL_DETAIL("Have left over data, but it is not complete.  Will read rest of message");
      pendingGt = leftover->buffer[leftover->length - 1] == '>';
      if (!discarding) appendChunk(message, leftover->buffer, leftover->length);
      delete leftover;
      leftover = nullptr;
    } else if (leftover) {
      delete leftover;
      leftover = nullptr;
    }

    bool complete = false;
    while (!complete) {
      char chunk[kChunk];
      ssize_t n = ::recv(socket, chunk, kChunk - 1, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n == 0) {
        VEL_ERROR("socket receive returned 0. Peer shutdown.");
        return false;
      }
      if (n < 0) {
        VEL_ERROR("socket receive error: %d", errno);
        return false;
      }
      int count = static_cast<int>(n);
      chunk[count] = '\0';
      int end;   // bytes of this chunk that belong to the message, the '>' included
      int skip;  // bytes of this chunk consumed with the terminator
      if (pendingGt && chunk[0] == '\n') {
        end = 0;
        skip = 1;
      } else {
        int p = findTerminator(chunk, count);
        end = p < 0 ? -1 : p + 1;
        skip = p < 0 ? -1 : p + 2;
      }
      if (end < 0) {
        if (!discarding) {
          appendChunk(message, chunk, count);
          VEL_DETAIL("Did not find newline, continue reading");
          if (!message->buffer) {
            VEL_ERROR("Out of memory receiving a message of %d bytes", count);
            return false;
          }
          if (message->length > maxMessage) {
            VEL_ERROR("Message longer than %d bytes without end of line, skipping it", maxMessage);
            discarding = true;
            message->clear();
          }
        }
        pendingGt = chunk[count - 1] == '>';
        continue;
      }
      if (!discarding) appendChunk(message, chunk, end);
      if (count > skip) {
        VEL_DETAIL("Have leftover data after a complete message-- saving for next time");
        leftover = new HOZ::String(count - skip);
        leftover->appendBytes(chunk + skip, count - skip);
      }
      complete = true;
    }
    if (!discarding) break;
    discarding = false;  // the over-long line is behind us; read the next message
    message->clear();
    pendingGt = false;
  }
  if (!message->buffer) return false;
  if (VEL_TRACE_ON(MUT1_DETAIL)) {
    MUT1_Dump(&s_velTraceBlock, __LINE__, message->buffer, static_cast<size_t>(message->length),
              "receive on socket %d \n", socket);
  }
  return true;
}
