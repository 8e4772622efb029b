// The connection directory reports a connection left out for a subnode-name conflict as an
// agent event, as the agent receives it over the link.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EventLine.h"
#include "TestSupport.h"
#include "VelConfig.h"

namespace {

using veltest::ScopedEnv;

class ConfigEvents : public ::testing::Test {
 protected:
  void SetUp() override { veltest::openEventLink(m_peer); }
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
  std::string longName(70, 'N');  // cut to 64 in the message, to 24 in the subnode name
  ASSERT_TRUE(veltest::writeFile(m_cfg, "[config " + longName + "1]\n[config " + longName +
                                            "2]\n[config ORCL]\n[config ORCL]\n"));
  VelConfig config;
  EXPECT_EQ(config.getItems().size(), 3u);
  std::vector<std::string> row = veltest::eventValues(m_peer.readLine());
  EXPECT_EQ(row, (std::vector<std::string>{
                     "1", "Agent Config", "", "1000",
                     "Error - DB Connection '" + std::string(64, 'N') +
                         "' can't be added. The length of its name exceeds 25, and it should be "
                         "truncated in the subnode name. While subnode '" +
                         std::string(24, 'N') + "' has already existed.",
                     "", "Make the DB connection name shorter."}));
  // Nothing more: the kept connections, the repeated uncut name among them, raise no event.
  EXPECT_TRUE(m_peer.quiet());
}

}  // namespace
