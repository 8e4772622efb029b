// Agent events as the agent receives them: the seven values of the Agent_Event row, the
// suggestion tables, the field limits, and the start-failure event on a link of its own.
#include "Vel_PostEvent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EventLine.h"
#include "cp_api.h"

namespace {

class PostEvent : public ::testing::Test {
 protected:
  void SetUp() override { veltest::openEventLink(m_peer); }
  void TearDown() override {
    cp_CloseConnection();
    cp_setPort(-1);
  }
  std::vector<std::string> nextRow() { return veltest::eventValues(m_peer.readLine()); }

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
  // A long message is cut to the 512 bytes the field holds, not lost.
  Vel_PostEvent::postAgentEvent(1, "", std::string(600, 'm').c_str(), 1003, "Agent");
  EXPECT_EQ(nextRow(), (Row{"1", "Agent", "", "1003", std::string(512, 'm'), "", ""}));
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
      veltest::eventValues(peer.readLine()),
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
