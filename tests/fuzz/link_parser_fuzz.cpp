// Fuzz target: whatever the agent sends, cut into messages by the socket framing, parsed and
// turned into request records, must not crash, hang or leak.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ClientRequestXMLHandler.h"
#include "ClientSocket.h"
#include "Parser.h"
#include "cp_internal.h"

namespace {

// A few registered groups, built once.
HashMap* groups() {
  static HashMap* map = [] {
    auto* m = new HashMap();
    static const char* names[] = {"Monitored_Databases", "Database_Information", "Agent_Event",
                                  "RDB_Top_SQL", "DG_Status"};
    for (const char* name : names) {
      auto* reg = static_cast<AttrGroupReg*>(calloc(1, sizeof(AttrGroupReg)));
      reg->name = strdup(name);
      reg->handle = name;
      m->put(reg->name, reg);
    }
    return m;
  }();
  return map;
}

void parseAndBuild(char* text) {
  ClientRequestXMLHandler handler;
  Parser parser(&handler);
  parser.parse(text);
  Request* record = cpNewRequest();
  int connectionId = 0;
  AttrGroupReg* reg = nullptr;
  cpBuildRequest(handler, groups(), record, "", &connectionId, &reg);
  cp_FreeRequest(record);
}

char kLoopback[] = "127.0.0.1";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The whole input as one message.
  std::vector<char> text(data, data + size);
  text.push_back('\0');
  parseAndBuild(text.data());

  // The input as a byte stream on the link: every message the framing cuts out of it.
  int fds[2];
  if (size > 0 && size < 65536 && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) {
    ssize_t written = write(fds[1], data, size);
    close(fds[1]);
    if (written == static_cast<ssize_t>(size)) {
      ClientSocket socket(0, kLoopback);
      socket.socket = fds[0];  // closed by the socket's destructor
      socket.setMaxMessageLength(1024);
      HOZ::String message(256);
      for (int i = 0; i < 10000 && socket.receive(&message); ++i) {
        if (message.buffer) parseAndBuild(message.buffer);
      }
    } else {
      close(fds[0]);
    }
  }
  return 0;
}
