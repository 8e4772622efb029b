// The connection directory reports a connection left out for a subnode-name conflict as an
// agent event, as the agent receives it over the link.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../link/LinkPeer.h"
#include "TestSupport.h"
#include "VelConfig.h"
#include "Vel_PostEvent.h"
#include "cp_api.h"

namespace {

using veltest::ScopedEnv;

// The seven values of an Agent_Event line; empty for any other line.
std::vector<std::string> eventRow(const std::string& line) {
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
  return values;
}

class ConfigEvents : public ::testing::Test {
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

  veltest::LinkPeer m_peer;
  veltest::TempDir m_dir;
  std::string m_cfg = m_dir.file("vl_inst1.cfg");
  ScopedEnv m_file{"VEL_CONFIG_FILE", m_cfg.c_str()};
  ScopedEnv m_inst{"VEL_INSTANCE_NAME", "inst1"};
  ScopedEnv m_host{"NOVAG_HOSTNAME", "hostA"};
  ScopedEnv m_maxLength{"VEL_MAX_SUBNODE_NAME_LENGTH", nullptr};
};

TEST_F(ConfigEvents, ConnectionLeftOutForACutNameIsReportedOnce) {
  ASSERT_TRUE(veltest::writeFile(m_cfg,
                                 "[config SALES_REPORTING_DATABASE1]\n"
                                 "[config SALES_REPORTING_DATABASE2]\n"
                                 "[config ORCL]\n"
                                 "[config ORCL]\n"));
  VelConfig config;
  EXPECT_EQ(config.getItems().size(), 3u);
  std::vector<std::string> row = eventRow(m_peer.readLine());
  EXPECT_EQ(row, (std::vector<std::string>{
                     "1", "Agent Config", "", "1000",
                     "Error - DB Connection 'SALES_REPORTING_DATABASE2' can't be added. The length "
                     "of its name exceeds 25, and it should be truncated in the subnode name. "
                     "While subnode 'SALES_REPORTING_DATABASE' has already existed.",
                     "", "Make the DB connection name shorter."}));
  // Nothing more: the kept connections, the repeated uncut name among them, raise no event.
  EXPECT_TRUE(m_peer.quiet());
}

}  // namespace
