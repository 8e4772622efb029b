// Agent events as the agent receives them: the seven values of the Agent_Event row, the
// suggestion tables, the field limits, and the start-failure event on a link of its own.
#include "Vel_PostEvent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../link/LinkPeer.h"
#include "cp_api.h"

namespace {

// The values of the one row of an event line, decoded; empty when the line is not an event of
// Agent_Event.
std::vector<std::string> rowOf(const std::string& line) {
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

class PostEvent : public ::testing::Test {
 protected:
  void SetUp() override {
    cp_SetConnectRetryPause(0);
    cp_setPort(m_peer.port());
    char property[] = "CP_MULTITHREADED=YES";
    char* properties[] = {property};
    ASSERT_EQ(cp_OpenConnectionWithProperties(properties, 1), 0);
    ASSERT_TRUE(m_peer.accept());
    ASSERT_EQ(cp_RegisterAttrGroup(kAgentEventGroup, 1, kAgentEventGroup), 0);
    ASSERT_EQ(cp_RegistrationComplete(), 0);
    ASSERT_FALSE(m_peer.readLine().empty());
  }
  void TearDown() override {
    cp_CloseConnection();
    cp_setPort(-1);
  }
  std::vector<std::string> nextRow() { return rowOf(m_peer.readLine()); }

  veltest::LinkPeer m_peer;
};

using Row = std::vector<std::string>;

TEST_F(PostEvent, AgentEventsCarryTheSuggestionOfTheirId) {
  Vel_PostEvent::postAgentEvent(1, "VL:db1", "Request queue is full", 1006, nullptr);
  EXPECT_EQ(nextRow(), (Row{"1", "Agent", "VL:db1", "1006", "Request queue is full", "",
                            "The database connection is slow or hang, restart agent to make "
                            "re-connection"}));
  Vel_PostEvent::postAgentEvent(2, nullptr, "No privilege", 1005, "Check Privilege");
  Row row = nextRow();
  ASSERT_EQ(row.size(), 7u);
  EXPECT_EQ(row[0], "2");
  EXPECT_EQ(row[1], "Check Privil");  // 15 bytes, cut to the 12 the field holds
  EXPECT_EQ(row[6].rfind("Set environment variable VEL_CHECK_PRIVILEGE_EVENT_COUNT", 0), 0u);
  Vel_PostEvent::postAgentEvent(1, "", "code page", 1003, "Agent");
  EXPECT_EQ(nextRow(), (Row{"1", "Agent", "", "1003", "code page", "", ""}));
}

TEST_F(PostEvent, OracleEventsSeverityDetailAndSuggestions) {
  Vel_PostEvent::postOraEvent(-1, 1017, "ORA-01017: invalid username/password", "VL:db1",
                              "Connecting database", nullptr, nullptr);
  EXPECT_EQ(nextRow(),
            (Row{"1", "Oracle", "VL:db1", "1017", "ORA-01017: invalid username/password",
                 "Connecting database", "Make sure the username and the password are correct."}));
  // A warning (status 1), a number not in the table, a caller's category.
  Vel_PostEvent::postOraEvent(1, 28002, "ORA-28002: password will expire", "s", nullptr, "Ora",
                              nullptr);
  EXPECT_EQ(nextRow(), (Row{"2", "Ora", "s", "28002", "ORA-28002: password will expire", "", ""}));
  // Caller texts are cut: detail to 84 bytes, suggestion to 384.
  std::string detail(100, 'd');
  std::string suggestion(500, 's');
  Vel_PostEvent::postOraEvent(-1, 12541, "ORA-12541", "s", detail.c_str(), nullptr,
                              suggestion.c_str());
  Row row = nextRow();
  ASSERT_EQ(row.size(), 7u);
  EXPECT_EQ(row[5], std::string(84, 'd'));
  EXPECT_EQ(row[6], std::string(384, 's'));
  EXPECT_STREQ(Vel_PostEvent::getOraSuggestion(12541), "Make sure the Oracle listener is started.");
  EXPECT_EQ(Vel_PostEvent::getOraSuggestion(-1), nullptr);
  EXPECT_EQ(Vel_PostEvent::getAgentSuggestion(1002), nullptr);
  EXPECT_STREQ(Vel_PostEvent::getAgentSuggestion(1000), "Make the DB connection name shorter.");
}

TEST_F(PostEvent, ConfigurationConflictMessage) {
  std::string longName(80, 'n');
  Vel_PostEvent::postConfigErrorInfo(longName.c_str(), "VL:nnnn", 1000);
  Row row = nextRow();
  ASSERT_EQ(row.size(), 7u);
  EXPECT_EQ(row[0], "1");
  EXPECT_EQ(row[1], "Agent Config");
  EXPECT_EQ(row[2], "");
  EXPECT_EQ(row[3], "1000");
  EXPECT_EQ(row[4], "Error - DB Connection '" + std::string(64, 'n') +
                        "' can't be added. The length of its name exceeds 25, and it should be "
                        "truncated in the subnode name. While subnode 'VL:nnnn' has already "
                        "existed.");
  EXPECT_EQ(row[6], "Make the DB connection name shorter.");
}

TEST_F(PostEvent, LongMessagesAreCutNotLost) {
  std::string message(600, 'm');
  Vel_PostEvent::postAgentEvent(1, nullptr, message.c_str(), 1001, nullptr);
  Row row = nextRow();
  ASSERT_EQ(row.size(), 7u);
  EXPECT_EQ(row[4], std::string(512, 'm'));
}

TEST(StartFailureEvent, OpensItsOwnLinkRegistersAndSends) {
  veltest::LinkPeer peer;
  cp_SetConnectRetryPause(0);
  cp_setPort(peer.port());
  Vel_PostEvent::postStartFailureEvent("Initializing Oracle runtime environment failed!", 1002);
  ASSERT_TRUE(peer.accept());
  std::string registration = peer.readLine();
  EXPECT_EQ(registration.rfind("<cpciRegister ver=\"6\" threaded=\"1\"><attrGroupList>", 0), 0u);
  for (const char* group : {"Monitored_Databases", "Database_Information", "Agent_Event"}) {
    EXPECT_NE(registration.find(std::string("<attrGroup name=\"") + group + "\" ver=\"1\"/>"),
              std::string::npos)
        << group;
  }
  EXPECT_EQ(
      rowOf(peer.readLine()),
      (Row{"1", "Agent", "", "1002", "Initializing Oracle runtime environment failed!", "", ""}));
  EXPECT_EQ(cp_GetState(), REG_COMPLETE_STATE);  // the caller closes
  cp_CloseConnection();

  // Without an agent nothing is sent and nothing stays open.
  int refused;
  {
    veltest::LinkPeer gone;
    refused = gone.port();
  }
  cp_setPort(refused);
  Vel_PostEvent::postStartFailureEvent("Loading Oracle OCI library failed!", 1001);
  EXPECT_EQ(cp_GetState(), CLOSED_STATE);
  cp_setPort(-1);
}

}  // namespace
