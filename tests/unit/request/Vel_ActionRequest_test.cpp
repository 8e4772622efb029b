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

  static std::vector<std::string> lines(const velagent::TaskResult& r) {
    std::vector<std::string> out;
    for (const auto& o : r.outputs) out.push_back(o.value);
    return out;
  }

  reqtest::ConfigFile m_file{kConfig};
  ocitest::SimDatabases m_dbs;
  reqtest::LinkPeer m_peer;
  OraXMLSQLData m_catalog = reqtest::makeCatalog();
};

TEST_F(ActionTest, SelectRowsLastFetchedFirstThenColumnNames) {
  velagent::TaskResult all =
      runOnSession("VELSELECT:select name, value from v$sysstat order by name;;", 1000);
  ASSERT_TRUE(all.ok());
  EXPECT_EQ(all.rc, 0);
  std::vector<std::string> allLines = lines(all);
  ASSERT_GE(allLines.size(), 4u);
  EXPECT_EQ(allLines.back(), "NAME / VALUE");
  for (const auto& o : all.outputs) EXPECT_EQ(o.inst, "");

  // The limit keeps the first rows fetched; they come out in reverse order.
  velagent::TaskResult limited =
      runOnSession("VELSELECT:select name, value from v$sysstat order by name", 2);
  ASSERT_TRUE(limited.ok());
  // allLines holds every row reversed: the first two fetched rows are its last two row lines.
  std::vector<std::string> got = lines(limited);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], allLines[allLines.size() - 3]);
  EXPECT_EQ(got[1], allLines[allLines.size() - 2]);
  EXPECT_EQ(got[2], "NAME / VALUE");
}

TEST_F(ActionTest, SelectWithoutRowsNullValuesAndFailures) {
  velagent::TaskResult none =
      runOnSession("VELSELECT:select name, value from v$sysstat where name = 'no such'");
  ASSERT_TRUE(none.ok());
  EXPECT_EQ(none.rc, 0);
  EXPECT_EQ(lines(none), (std::vector<std::string>{"NAME / VALUE"}));

  velagent::TaskResult nulls = runOnSession("VELSELECT:select 'a' A, NULL B, 'c' C from dual");
  ASSERT_TRUE(nulls.ok());
  EXPECT_EQ(lines(nulls), (std::vector<std::string>{"a /  / c", "A / B / C"}));

  velagent::TaskResult failed = runOnSession("VELSELECT:select x from no_such_table");
  ASSERT_TRUE(failed.ok());
  EXPECT_EQ(failed.rc, 942);
  ASSERT_EQ(failed.outputs.size(), 1u);
  EXPECT_NE(failed.outputs[0].value.find("ORA-00942"), std::string::npos);

  // An empty query is not answered.
  EXPECT_EQ(runOnSession("VELSELECT:", 10, 1200).status, velagent::WaitStatus::kTimeout);
}

TEST_F(ActionTest, PlsqlSuccessAndOracleError) {
  velagent::TaskResult ok = runOnSession("VELPLSQL:BEGIN NULL; END;");
  ASSERT_TRUE(ok.ok());
  EXPECT_EQ(ok.rc, 0);
  EXPECT_EQ(lines(ok), (std::vector<std::string>{""}));

  velagent::TaskResult failed = runOnSession("VELPLSQL:BEGIN no_such_procedure; END;");
  ASSERT_TRUE(failed.ok());
  EXPECT_NE(failed.rc, 0);
  ASSERT_EQ(failed.outputs.size(), 1u);
  EXPECT_NE(failed.outputs[0].value.find("ORA-"), std::string::npos);
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

  ASSERT_TRUE(select.ok());
  EXPECT_EQ(select.rc, 0);
  EXPECT_EQ(lines(select), (std::vector<std::string>{"x", "X"}));
  ASSERT_TRUE(missing.ok());
  EXPECT_EQ(missing.rc, -2);
  EXPECT_EQ(lines(missing), (std::vector<std::string>{"Can not get the subnode item for NOSUCH"}));
  ASSERT_TRUE(down.ok());
  EXPECT_EQ(down.rc, -2);
  EXPECT_EQ(lines(down), (std::vector<std::string>{"Can not connect to the database"}));
}

}  // namespace
