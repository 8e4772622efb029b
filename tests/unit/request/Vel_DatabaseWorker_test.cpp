// The subnode worker running on its own thread against the stand-in: requests queued the way the
// request loop queues them, answers observed at the agent. Interval statements and their cache,
// a database that is down at start, statements for other threads, take actions, discovery
// parameters, and the interval list helpers.
#include "Vel_DatabaseWorker.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Ora_Database.h"
#include "RequestTestSupport.h"
#include "SendMutex.h"
#include "TraceCapture.h"
#include "VelConfig.h"
#include "Vel_ListRequest.h"

namespace {

using reqtest::kSingle;
using veltest::ScopedEnv;
using Rows = std::vector<std::vector<std::string>>;

const char kLate[] = "late:1521/LATE";

const std::string kConfig =
    reqtest::configSection("PROD", kSingle) + reqtest::configSection("LATE", kLate);

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dbs.make("single", kSingle);
    m_dbs.make("single", kLate);
    m_config.reset(new VelConfig);
  }
  void TearDown() override { stop(); }

  // Starts the worker of subnode with its own copies of catalog and definitions; waits until its
  // session is up unless told not to.
  void start(const char* subnode, const OraXMLSQLData& catalog, bool waitActive = true) {
    Vel_ListRequest* queue = new Vel_ListRequest(subnode, subnode);
    ASSERT_TRUE(m_manager.push_back(queue));
    std::unique_ptr<ProcessRequestParm> parm(new ProcessRequestParm);
    parm->m_pConfig = m_config.get();
    parm->m_pShutdown = &m_shutdown;
    parm->m_pRequestList = queue;
    parm->m_subnode.assign(subnode);
    parm->m_catalog = catalog;
    parm->m_attrGroups = reqtest::makeAttrGroups();
    ASSERT_EQ(pthread_create(&parm->m_threadId, nullptr, processDatabaseRequest, parm.get()), 0);
    m_parms.push_back(std::move(parm));
    if (waitActive) {
      ASSERT_TRUE(waitStatus(subnode, VEL_CONN_STATUS_ACTIVE, 5000));
    }
  }
  void stop() {
    m_shutdown = true;
    for (auto& parm : m_parms) pthread_join(parm->m_threadId, nullptr);
    m_parms.clear();
  }

  // The agent asks; the request goes to the subnode's queue as the request loop puts it there.
  Rows request(const char* group, const char* subnode,
               const std::vector<velagent::RequestInfoItem>& items = {}) {
    std::string id;
    Vel_AgentFacRequest* wrapper =
        new Vel_AgentFacRequest(m_peer.receive(group, subnode, items, &id), 60);
    if (!DispatchRequest(&m_manager, wrapper)) {
      ADD_FAILURE() << "not queued";
      delete wrapper;
    }
    return reqtest::rowsOf(m_peer.answer(id, 8000));
  }

  int status(const char* subnode) {
    VelMutexHandler lock(m_config->getMutex());
    VelConfigItem* item = m_config->searchBySubNode(subnode);
    return item ? item->getConnectStatus() : -1;
  }
  // Polls the subnode's status for up to timeoutMs.
  bool waitStatus(const char* subnode, int expected, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < end) {
      if (status(subnode) == expected) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return status(subnode) == expected;
  }

  reqtest::ConfigFile m_file{kConfig};
  ScopedEnv m_ping{"VEL_PING_INTERVAL", "1"};
  ocitest::SimDatabases m_dbs;
  reqtest::LinkPeer m_peer;
  std::unique_ptr<VelConfig> m_config;
  Vel_RequestListManager m_manager;
  std::atomic<bool> m_shutdown{false};
  std::vector<std::unique_ptr<ProcessRequestParm>> m_parms;
};

const Rows kCommitsRow = {{"user commits", "98231"}};

TEST_F(WorkerTest, IntervalGroupAnsweredFromItsCache) {
  start("PROD", reqtest::makeCatalog(3600));
  // The first turn queues the interval statement ahead of or with the first request; after the
  // second answer its run is certainly done.
  EXPECT_EQ(request(reqtest::kCommits, "PROD"), kCommitsRow);
  EXPECT_EQ(request(reqtest::kCommits, "PROD"), kCommitsRow);
  m_dbs.exec(kSingle, "UPDATE \"gv$sysstat\" SET value = 5 WHERE name = 'user commits'");
  // Still the cached rows; a group without an interval sees the change at once.
  EXPECT_EQ(request(reqtest::kCommits, "PROD"), kCommitsRow);
  // A request appended to the idle worker wakes it: the answer does not wait for the next
  // once-a-second look, about one second away here.
  veltest::alignToSecond();
  auto asked = std::chrono::steady_clock::now();
  Rows stats = request(reqtest::kStats, "PROD");
  EXPECT_LT(veltest::msSince(asked), 500);
  ASSERT_EQ(stats.size(), 5u);
  EXPECT_EQ(stats[4][0], "5");
  // The configuration item holds what the worker learnt.
  Ora_DatabaseInfo info;
  ASSERT_TRUE(m_config->getDBInfo("PROD", info));
  EXPECT_STREQ(info.m_name.c_str(), "PROD");
  EXPECT_STREQ(info.m_type.c_str(), "RDB");
}

TEST_F(WorkerTest, IntervalGroupRefreshedAfterItsInterval) {
  start("PROD", reqtest::makeCatalog(1));
  EXPECT_EQ(request(reqtest::kCommits, "PROD"), kCommitsRow);
  m_dbs.exec(kSingle, "UPDATE \"gv$sysstat\" SET value = 7 WHERE name = 'user commits'");
  Rows refreshed = {{"user commits", "7"}};
  // Requests are answered at once, so the refresh is awaited by time (a few interval turns).
  bool seen = false;
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!seen && std::chrono::steady_clock::now() < end) {
    seen = request(reqtest::kCommits, "PROD") == refreshed;
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  EXPECT_TRUE(seen);
}

TEST_F(WorkerTest, FailingIntervalStatementRaisesAnEventEachTurn) {
  OraXMLSQLData catalog = reqtest::makeCatalog();
  catalog.getSQLInfo(reqtest::kBroken)->setInterval(3600);
  catalog.getSQLInfo(reqtest::kBroken)->setType("rdb");  // the type compares ignoring case
  start("PROD", catalog);
  std::vector<velagent::Event> events = m_peer.events(2, 5000);
  ASSERT_GE(events.size(), 2u);
  for (size_t i = 0; i < 2; ++i)
    EXPECT_EQ(reqtest::eventRow(events[i]), reqtest::missingTableEvent("PROD", "TEST_BROKEN"));
  // Requests of the group are still answered, by running the statement (empty answer).
  EXPECT_TRUE(request(reqtest::kBroken, "PROD").empty());
}

TEST_F(WorkerTest, DatabaseDownAtStartIsServedOnceItComesUp) {
  m_dbs.exec(kLate, "INSERT INTO sim_faults VALUES('attach', '', 12541, 0)");
  start("LATE", reqtest::makeCatalog(3600), false);
  ASSERT_TRUE(waitStatus("LATE", VEL_CONN_STATUS_INACTIVE, 5000));
  EXPECT_TRUE(request(reqtest::kStats, "LATE").empty());
  EXPECT_TRUE(request(RDB_Instance_Info, "LATE").empty());
  // The connection failure is raised as an event.
  std::vector<velagent::Event> events = m_peer.events(1);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(reqtest::eventRow(events[0])[3], "12541");

  m_dbs.exec(kLate, "DELETE FROM sim_faults");
  ASSERT_TRUE(waitStatus("LATE", VEL_CONN_STATUS_ACTIVE, 6000));
  EXPECT_EQ(request(reqtest::kStats, "LATE").size(), 5u);
  // The interval list was built once the type became known.
  EXPECT_EQ(request(reqtest::kCommits, "LATE"), kCommitsRow);
  Rows instances = request(RDB_Instance_Info, "LATE");
  ASSERT_EQ(instances.size(), 1u);
  EXPECT_EQ(instances[0][2], "PROD");
}

TEST_F(WorkerTest, SessionLostWhileRunningIsRebuiltOnceTheDatabaseIsBack) {
  veltest::TraceCapture trace;
  start("PROD", reqtest::makeCatalog());
  m_dbs.exec(kSingle,
             "INSERT INTO sim_faults VALUES('drop', '', 0, 0); "
             "INSERT INTO sim_faults VALUES('attach', '', 12541, 0)");
  ASSERT_TRUE(waitStatus("PROD", VEL_CONN_STATUS_INACTIVE, 5000));
  // The keep-alive check noticed it.
  EXPECT_TRUE(trace.contains("The database session of subnode PROD failed its check"));
  m_dbs.exec(kSingle, "DELETE FROM sim_faults");
  ASSERT_TRUE(waitStatus("PROD", VEL_CONN_STATUS_ACTIVE, 5000));
  EXPECT_EQ(request(reqtest::kStats, "PROD").size(), 5u);
}

TEST_F(WorkerTest, StatementForAnotherThreadAndDiscoveryParameters) {
  start("PROD", reqtest::makeCatalog());
  Vel_ListRequest* queue = m_manager.getRequestList("PROD");
  ASSERT_NE(queue, nullptr);
  Vel_SQLRequest sql(reqtest::kStats);
  sql.setStartTime(time(nullptr));
  ASSERT_TRUE(queue->appendRequest(&sql));
  bool done = false;
  for (int i = 0; i < 5 && !done; ++i) done = sql.waitComplete(1000);
  ASSERT_TRUE(done);
  EXPECT_TRUE(sql.succeeded());
  EXPECT_EQ(sql.getTable().getStoredRowCount(), 5u);
  // The worker left it to its creator (this stack); nothing else is queued.
  EXPECT_EQ(queue->getCount(), 0u);
  // Parameter groups whose filter names a discovery parameter are answered from it.
  EXPECT_EQ(
      request(RDB_Parameter, "PROD", {reqtest::filterItem("((NAME EQ 'VANTOR_EXTAGT_RAC_INFO'))")}),
      (Rows{{"VANTOR_EXTAGT_RAC_INFO", "CLUSTER=NO;DBUNIQNAME=PROD;INSTANCES=PROD@dbhost1"}}));
}

std::atomic<int> g_handled{0};
void answerAction(Vel_AgentFacRequest& request, Ora_Database& database, int selectMaxRow) {
  ++g_handled;
  std::string text =
      std::string(database.isConnected() ? "connected " : "down ") + std::to_string(selectMaxRow);
  const char* instances[] = {""};
  const char* outputs[] = {text.c_str()};
  VelMutexHandler lock(gMutexSend);
  cp_SendTaskRCWithOutput(0, request.getRequestID(), instances, 1, outputs, 1);
}

TEST_F(WorkerTest, TakeActionsOnTheWorkerSession) {
  ScopedEnv maxRows("VEL_SELECT_ACTION_MAXROW", "3");
  start("PROD", reqtest::makeCatalog());
  auto task = [this](const char* command, int timeoutMs = 5000) {
    std::string id = m_peer.agent().sendTask("PROD", command);
    Request* record = nullptr;
    EXPECT_EQ(cp_WaitForRequest(&record), 0);
    Vel_AgentFacRequest* wrapper = new Vel_AgentFacRequest(record, 20);
    EXPECT_TRUE(DispatchRequest(&m_manager, wrapper));
    return m_peer.agent().waitTaskAnswer(id, timeoutMs);
  };
  // No take-action code installed: refused with the failure text.
  EXPECT_EQ(reqtest::taskAnswer(task("VELSELECT: select 1 from dual")),
            "-1|Error, this action VELSELECT: select 1 from dual can't be processed");
  // An unknown prefix gets no answer at all.
  EXPECT_EQ(reqtest::taskAnswer(task("velselect: select 1 from dual", 1500)), "no answer");

  velSetWorkerActionHandler(answerAction);
  EXPECT_EQ(reqtest::taskAnswer(task("VELPLSQL: BEGIN NULL; END;")), "0|connected 3");
  velSetWorkerActionHandler(nullptr);
  EXPECT_EQ(g_handled.load(), 1);
}

TEST_F(WorkerTest, ShutdownWaitsForTheRunningStatement) {
  start("PROD", reqtest::makeCatalog());
  m_dbs.exec(kSingle, "INSERT INTO sim_faults VALUES('delay', 'slow_marker', 0, 1500)");
  std::string id;
  Vel_AgentFacRequest* wrapper =
      new Vel_AgentFacRequest(m_peer.receive(reqtest::kSlow, "PROD", {}, &id), 60);
  ASSERT_TRUE(DispatchRequest(&m_manager, wrapper));
  Vel_ListRequest* queue = m_manager.getRequestList("PROD");
  for (int i = 0; i < 300 && queue->getCount() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(queue->getCount(), 0u);  // taken by the worker
  stop();
  // The join returned only after the statement had run and its answer had been sent.
  EXPECT_EQ(reqtest::rowsOf(m_peer.answer(id, 1000)).size(), 5u);
}

TEST_F(WorkerTest, UnknownSubnodeConfigurationEndsTheWorker) {
  veltest::TraceCapture trace;
  start("NOSUCH", reqtest::makeCatalog(), false);
  pthread_join(m_parms.back()->m_threadId, nullptr);
  m_parms.pop_back();
  EXPECT_TRUE(trace.contains("Can not get the subnode information"));
}

TEST(IntervalList, BuiltOncePerTypeQueuedWhenDueAndRefreshed) {
  OraXMLSQLData catalog = reqtest::makeCatalog(30);
  OraXMLSQLInfo asmEntry("ASM_ONLY");
  asmEntry.addSQL(OraXMLSQL(101, "select 1 from dual"));
  asmEntry.setInterval(10);
  asmEntry.setType("ASM");
  catalog.addUnique(asmEntry);

  IntervalSQLList list;
  buildIntervalSQLInfo(list, catalog, "S", "");
  EXPECT_TRUE(list.empty());  // type not known yet
  buildIntervalSQLInfo(list, catalog, "S", "rdb");
  ASSERT_EQ(list.size(), 1u);
  buildIntervalSQLInfo(list, catalog, "S", "ASM");  // built once only
  ASSERT_EQ(list.size(), 1u);
  IntervalSQLInfo* entry = searchIntervalSQLData(list, "test_commits");
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->getInterval(), 30);
  EXPECT_EQ(searchIntervalSQLData(list, "ASM_ONLY"), nullptr);

  ScopedEnv one("VEL_REQUEST_QUEUE_MAX_LENGTH", "0");
  Vel_ListRequest queue("S", "S");
  enqueueIntervalSQLRequest("S", list, &queue);  // due at once
  EXPECT_TRUE(entry->isPending());
  EXPECT_EQ(queue.getCount(), 1u);
  // Pending entries are queued again at every turn; a full queue skips them for the turn.
  enqueueIntervalSQLRequest("S", list, &queue);
  EXPECT_EQ(queue.getCount(), 1u);
  std::unique_ptr<Vel_BaseRequest> queued(queue.remove());
  ASSERT_EQ(queued->Type(), VEL_REQUEST_TYPE_INTERVAL_SQL);
  EXPECT_STREQ(static_cast<Vel_IntervalSQLRequest*>(queued.get())->getSQLID(), "TEST_COMMITS");

  time_t before = time(nullptr);
  refreshIntervalSQLData(list, "TEST_COMMITS", new Ora_AutoStmtTable);
  EXPECT_FALSE(entry->isPending());
  EXPECT_NE(entry->getCachedTable(), nullptr);
  EXPECT_GE(entry->getNextRunTime(), before + 30);
  EXPECT_GE(entry->getLastQueryTime(), before);
  enqueueIntervalSQLRequest("S", list, &queue);  // not due any more
  EXPECT_EQ(queue.getCount(), 0u);
  refreshIntervalSQLData(list, "UNKNOWN", new Ora_AutoStmtTable);  // no entry: table dropped
}

}  // namespace
