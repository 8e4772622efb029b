// The request loop: its tuning values and action routing, the two groups answered from memory,
// and the whole loop run in process against the stand-in (worker answers, take actions on the
// worker's session, refusals, shutdown joining every thread).
#include "ProcessRequest.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "RequestTestSupport.h"
#include "SendMutex.h"
#include "TraceCapture.h"
#include "VelConfig.h"
#include "Vel_DatabaseWorker.h"

namespace {

using reqtest::kSingle;
using veltest::ScopedEnv;
using Rows = std::vector<std::vector<std::string>>;

TEST(RequestLoopTuning, TimeoutsAreTheVariableMinusThreeAtLeastFive) {
  {
    ScopedEnv unset("CDP_COLLECTION_TIMEOUT", nullptr);
    ScopedEnv unsetAction("CDP_DP_ACTION_TIMEOUT", nullptr);
    EXPECT_EQ(velCollectionTimeout(), 57);
    EXPECT_EQ(velActionTimeout(), 17);
  }
  ScopedEnv low("CDP_COLLECTION_TIMEOUT", "4");
  ScopedEnv high("CDP_DP_ACTION_TIMEOUT", "100");
  EXPECT_EQ(velCollectionTimeout(), 5);
  EXPECT_EQ(velActionTimeout(), 97);
}

TEST(RequestLoopTuning, NewConnectionModeOffOnlyForFalse) {
  {
    ScopedEnv unset("VEL_ACTION_NEWCONN", nullptr);
    EXPECT_TRUE(velActionNewConnMode());
  }
  for (const char* off : {"false", "FALSE", "False"}) {
    ScopedEnv value("VEL_ACTION_NEWCONN", off);
    EXPECT_FALSE(velActionNewConnMode()) << off;
  }
  for (const char* on : {"no", "0", "true", "falsey"}) {
    ScopedEnv value("VEL_ACTION_NEWCONN", on);
    EXPECT_TRUE(velActionNewConnMode()) << on;
  }
}

TEST(RequestLoopRouting, TakeActionPrefixesAreCaseSensitive) {
  EXPECT_TRUE(velIsTakeAction("VELSELECT:select 1 from dual"));
  EXPECT_TRUE(velIsTakeAction("VELPLSQL:"));
  EXPECT_FALSE(velIsTakeAction("velselect:select 1 from dual"));
  EXPECT_FALSE(velIsTakeAction("VelPlSql:BEGIN NULL; END;"));
  EXPECT_FALSE(velIsTakeAction("VELSELECT select 1 from dual"));
  EXPECT_FALSE(velIsTakeAction(" VELSELECT:x"));
  EXPECT_FALSE(velIsTakeAction(nullptr));
  EXPECT_STREQ(velSubnodeTypeOf("rdb"), "%ZUL.OracleAgentRDB");
  EXPECT_STREQ(velSubnodeTypeOf("ASM"), "%ZUL.OracleAgentASM");
  EXPECT_STREQ(velSubnodeTypeOf("Dg"), "%ZUL.OracleAgentDG");
  EXPECT_EQ(velSubnodeTypeOf("RAC"), nullptr);
  EXPECT_EQ(velSubnodeTypeOf(""), nullptr);
}

const std::string kConfig = reqtest::configSection("PROD", kSingle) + "VEL_DG_GROUP = dg1\n" +
                            reqtest::configSection("DOWN", "nowhere:1521/DOWN") +
                            reqtest::configSection("ODD", "odd:1521/ODD");

// The configuration and an agent whose link registered the loop's groups with their constants.
class LoopTest : public ::testing::Test {
 protected:
  // The agent asks; the handler answers on this thread as the loop does.
  velagent::Answer answerWith(void (*handler)(VelConfig*, Request*), VelConfig& config,
                              const char* group) {
    std::string id = m_agent.sendDataRequest(group, "", {});
    Request* record = nullptr;
    EXPECT_EQ(cp_WaitForRequest(&record), 0);
    {
      VelMutexHandler lock(gMutexSend);
      handler(&config, record);
    }
    return m_agent.waitAnswer(id, 5000);
  }

  static void setItem(VelConfig& config, const char* subnode, int status, const char* type,
                      const char* name) {
    VelMutexHandler lock(config.getMutex());
    VelConfigItem* item = config.searchBySubNode(subnode);
    ASSERT_NE(item, nullptr) << subnode;
    Ora_DatabaseInfo info;
    info.setInfo(type, name, "19.3.0.0.0", 190, "64", "false", "PRIMARY", "prod1", "dbhost1");
    item->updateDatabaseInfo(info);
    item->setConnectStatus(status);
  }

  reqtest::ConfigFile m_file{kConfig};
  veltest::LinkedAgent m_link{Monitored_Databases, Database_Information, kAgentEventGroup,
                              RDB_Alert_Log_Summary, reqtest::kStats};
  velagent::AgentSim& m_agent = m_link.agent();
};

TEST_F(LoopTest, MonitoredDatabasesListsActiveSubnodesOfKnownTypes) {
  VelConfig config;
  // Nothing active yet: an empty answer.
  EXPECT_TRUE(
      reqtest::rowsOf(answerWith(ProcessMonitoredDatabase, config, Monitored_Databases)).empty());

  const std::string longName(40, 'N');
  setItem(config, "PROD", VEL_CONN_STATUS_ACTIVE, "rdb", longName.c_str());
  setItem(config, "DOWN", VEL_CONN_STATUS_INACTIVE, "RDB", "DOWN");
  setItem(config, "ODD", VEL_CONN_STATUS_ACTIVE, "RAC", "ODD");
  // The database name is cut to its 32-character width.
  EXPECT_EQ(reqtest::rowsOf(answerWith(ProcessMonitoredDatabase, config, Monitored_Databases)),
            (Rows{{"Reserved", "%ZUL.OracleAgentRDB", "rdb", std::string(32, 'N'), "06.31.00.01",
                   "PROD"}}));
}

TEST_F(LoopTest, DatabaseInformationListsEverySubnodeWithItsStatus) {
  VelConfig config;
  setItem(config, "PROD", VEL_CONN_STATUS_ACTIVE, "RDB", "PROD");
  setItem(config, "DOWN", VEL_CONN_STATUS_INACTIVE, "RDB", "");
  EXPECT_EQ(
      reqtest::rowsOf(answerWith(ProcessRequestDatabaseInformation, config, Database_Information)),
      (Rows{{"PROD", "PROD", "19.3.0.0.0", "RDB", "64", "Active", "dg1", "PRIMARY", "dbhost1",
             "prod1"},
            {"DOWN", "", "19.3.0.0.0", "RDB", "64", "Inactive", "", "PRIMARY", "dbhost1", "prod1"},
            {"ODD", "", "", "", "", "Unknown", "", "", "", ""}}));
}

// The whole loop on a thread of this process with actions run by the workers.
TEST_F(LoopTest, LoopRoutesRequestsAndJoinsEverythingAtShutdown) {
  ocitest::SimDatabases dbs;
  dbs.make("single", kSingle);
  ScopedEnv newConn("VEL_ACTION_NEWCONN", "FALSE");
  ScopedEnv ping("VEL_PING_INTERVAL", "1");
  OraXMLSQLData catalog = reqtest::makeCatalog();
  VelAttrGroups groups = reqtest::makeAttrGroups();
  std::thread loop([&] { ProcessRequest(catalog, groups); });

  // Database_Information from memory until the worker has connected.
  bool active = false;
  for (int i = 0; i < 100 && !active; ++i) {
    for (const auto& row : m_agent.dataRequest(Database_Information, "", {}, 3000).rows)
      if (row.size() == 10 && row[0] == "PROD" && row[5] == "Active") active = true;
    if (!active) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(active);

  EXPECT_FALSE(reqtest::rowsOf(m_agent.dataRequest(reqtest::kStats, "PROD", {}, 8000)).empty());
  EXPECT_TRUE(
      reqtest::rowsOf(m_agent.dataRequest(RDB_Alert_Log_Summary, "PROD", {}, 3000)).empty());

  // New-connection mode off: the action runs on the worker's session; the worker of the down
  // database has no session, and says so.
  EXPECT_EQ(reqtest::taskAnswer(m_agent.task("PROD", "VELSELECT:select 'x' X from dual;", 8000)),
            "0|x|X");
  EXPECT_EQ(reqtest::taskAnswer(m_agent.task("DOWN", "VELPLSQL:BEGIN NULL; END;", 8000)),
            "-1|The database session is not connected");
  // A take action for a subnode without a queue, and an unknown action.
  EXPECT_EQ(reqtest::taskAnswer(m_agent.task("NOSUCH", "VELSELECT:select 1 from dual", 3000)),
            "-1|Error, this action VELSELECT:select 1 from dual can't be processed");
  EXPECT_EQ(reqtest::taskAnswer(m_agent.task("PROD", "SHELL:ls", 3000)),
            "-1|Error, this action SHELL:ls can't be processed");

  ASSERT_TRUE(m_agent.sendShutdown());
  loop.join();  // returns only once every worker has been joined
  EXPECT_TRUE(m_agent.waitClientClosed(3000));
  EXPECT_TRUE(m_agent.violations().empty());
}

}  // namespace
