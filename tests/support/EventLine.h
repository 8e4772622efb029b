// Events seen at the byte level: the link of this process opened to a raw LinkPeer with only the
// event group registered, and the values of one Agent_Event line as the link wrote it.
#ifndef VEL_TESTS_SUPPORT_EVENTLINE_H
#define VEL_TESTS_SUPPORT_EVENTLINE_H

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "LinkPeer.h"
#include "Vel_PostEvent.h"
#include "cp_api.h"

namespace veltest {

// Opens the link to peer and registers the event group (and the groups in more, each its own
// handle); the registration line is read. Close with cp_CloseConnection() and cp_setPort(-1).
inline void openEventLink(LinkPeer& peer, std::initializer_list<const char*> more = {}) {
  cp_SetConnectRetryPause(0);
  cp_setPort(peer.port());
  char property[] = "CP_MULTITHREADED=YES";
  char* properties[] = {property};
  ASSERT_EQ(cp_OpenConnectionWithProperties(properties, 1), 0);
  ASSERT_TRUE(peer.accept());
  ASSERT_EQ(cp_RegisterAttrGroup(kAgentEventGroup, 1, kAgentEventGroup), 0);
  for (const char* g : more) ASSERT_EQ(cp_RegisterAttrGroup(g, 1, g), 0);
  ASSERT_EQ(cp_RegistrationComplete(), 0);
  ASSERT_FALSE(peer.readLine().empty());
}

// The values of the one row of an Agent_Event line, "&apos;" decoded; empty for any other line.
// The line must end right after the row.
inline std::vector<std::string> eventValues(const std::string& line) {
  std::vector<std::string> values;
  const std::string head = "<pureEvent><attrGroup name=\"Agent_Event\"><in><al>";
  if (line.rfind(head, 0) != 0) return values;
  size_t pos = head.size();
  while (line.compare(pos, 6, "<a v=\"") == 0) {
    size_t end = line.find("\"/>", pos + 6);
    if (end == std::string::npos) break;
    std::string v = line.substr(pos + 6, end - pos - 6);
    for (size_t amp; (amp = v.find("&apos;")) != std::string::npos;) v.replace(amp, 6, "'");
    values.push_back(v);
    pos = end + 3;
  }
  EXPECT_EQ(line.substr(pos), "</al></in></attrGroup></pureEvent>\n");
  return values;
}

}  // namespace veltest

#endif  // VEL_TESTS_SUPPORT_EVENTLINE_H
