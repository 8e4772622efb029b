// Take actions against the stand-in: SELECT and PL/SQL actions on a session (answers observed at
// the agent), and the take-action thread that opens a session of its own per action.
#include "Vel_ActionRequest.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "Ora_Database.h"
#include "RequestTestSupport.h"
#include "TraceCapture.h"
#include "VelConfig.h"
#include "Vel_ListRequest.h"

namespace {

using reqtest::kSingle;
using veltest::ScopedEnv;

TEST(ActionText, TrailingSemicolonsRemoved) {
  EXPECT_STREQ(velStripTrailingSemicolons("select 1 from dual;;").c_str(), "select 1 from dual");
  EXPECT_STREQ(velStripTrailingSemicolons("select ';' x from dual").c_str(),
               "select ';' x from dual");
  EXPECT_STREQ(velStripTrailingSemicolons("a; b;").c_str(), "a; b");
  EXPECT_STREQ(velStripTrailingSemicolons(";;;").c_str(), "");
  EXPECT_STREQ(velStripTrailingSemicolons(nullptr).c_str(), "");
}

const std::string kConfig =
    reqtest::configSection("PROD", kSingle) + reqtest::configSection("DOWN", "nowhere:1521/DOWN");

class ActionTest : public ::testing::Test {
 protected:
  void SetUp() override { m_dbs.make("single", kSingle); }

  // The agent sends a task; the record the link hands over, wrapped as the request loop wraps it.
  std::unique_ptr<Vel_AgentFacRequest> receiveTask(const char* subnode, const std::string& command,
                                                   std::string* id) {
    *id = m_peer.agent().sendTask(subnode, command);
    Request* record = nullptr;
    EXPECT_EQ(cp_WaitForRequest(&record), 0);
    return std::make_unique<Vel_AgentFacRequest>(record, 20);
  }

  velagent::TaskResult runOnSession(const std::string& command, int maxRow = 10,
                                    int timeoutMs = 5000) {
    Ora_Database database(m_catalog, kSingle, "monitor", "monitor", "", "PROD", "PROD");
    Ora_ErrorMsg error;
    EXPECT_TRUE(database.Connect(error, false)) << error.getMessage();
    std::string id;
    std::unique_ptr<Vel_AgentFacRequest> request = receiveTask("PROD", command, &id);
    velRunTakeAction(*request, database, maxRow);
    return m_peer.agent().waitTaskAnswer(id, timeoutMs);
  }

  reqtest::ConfigFile m_file{kConfig};
  ocitest::SimDatabases m_dbs;
  reqtest::LinkPeer m_peer;
  OraXMLSQLData m_catalog = reqtest::makeCatalog();
};

TEST_F(ActionTest, SelectAndPlsqlActionsOnASession) {
  // A SELECT answers its rows last fetched first, then the column names; the row limit keeps the
  // first rows fetched. Failures answer the Oracle error; an empty query is not answered.
  const char kStats[] = "VELSELECT:select name, value from v$sysstat order by name";
  const struct {
    std::string command;
    int maxRow;
    const char* answer;
  } cases[] = {
      {std::string(kStats) + ";;", 1000,
       "0|user commits / 98231|session logical reads / 12873311|logons current / 41|"
       "logons cumulative / 1200|execute count / 771200|NAME / VALUE"},
      {kStats, 2, "0|logons cumulative / 1200|execute count / 771200|NAME / VALUE"},
      {"VELSELECT:select name, value from v$sysstat where name = 'no such'", 10, "0|NAME / VALUE"},
      {"VELSELECT:select 'a' A, NULL B, 'c' C from dual", 10, "0|a /  / c|A / B / C"},
      {"VELSELECT:select x from no_such_table", 10, "942|ORA-00942: table or view does not exist "},
      {"VELPLSQL:BEGIN NULL; END;", 10, "0|"},
      {"VELPLSQL:BEGIN no_such_procedure; END;", 10,
       "6550|ORA-06550: line 1, column 7: PLS-00201: identifier 'NO_SUCH_PROCEDURE' must be "
       "declared ORA-06550: line 1, column 7: PL/SQL: Statement ignored "},
      {"VELSELECT:", 10, "no answer"},
  };
  for (const auto& c : cases) {
    bool silent = c.answer == std::string("no answer");
    EXPECT_EQ(reqtest::taskAnswer(runOnSession(c.command, c.maxRow, silent ? 1200 : 5000)),
              c.answer)
        << c.command;
  }
}

TEST_F(ActionTest, ThreadConnectsPerActionAndAnswersFailures) {
  VelConfig config;
  Vel_ListRequest queue("", "ActionConn");
  std::atomic<bool> shutdown{false};
  ProcessActionParm parm;
  parm.m_pConfig = &config;
  parm.m_pRequestList = &queue;
  parm.m_pShutdown = &shutdown;
  parm.m_catalog = m_catalog;
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, nullptr, processActionRequest, &parm), 0);

  auto action = [&](const char* subnode, const char* command) {
    std::string id;
    std::unique_ptr<Vel_AgentFacRequest> request = receiveTask(subnode, command, &id);
    EXPECT_TRUE(queue.appendRequest(request.release()));
    return m_peer.agent().waitTaskAnswer(id, 8000);
  };
  // The appended action wakes the thread at once rather than at its next once-a-second look.
  veltest::alignToSecond();
  auto asked = std::chrono::steady_clock::now();
  velagent::TaskResult select = action("PROD", "VELSELECT:select 'x' X from dual;");
  EXPECT_LT(veltest::msSince(asked), 600);
  velagent::TaskResult missing = action("NOSUCH", "VELSELECT:select 1 from dual");
  velagent::TaskResult down = action("DOWN", "VELPLSQL:BEGIN NULL; END;");
  shutdown = true;
  pthread_join(thread, nullptr);

  EXPECT_EQ(reqtest::taskAnswer(select), "0|x|X");
  EXPECT_EQ(reqtest::taskAnswer(missing), "-2|Can not get the subnode item for NOSUCH");
  EXPECT_EQ(reqtest::taskAnswer(down), "-2|Can not connect to the database");
}

}  // namespace
