// Request classes against the stand-in: the agent wrapper and the hand-over of its record, the
// catalog request (column mapping by name, the instance columns, filters, failures, time-outs),
// statements run for other threads, and the discovery parameter requests.
#include "Vel_Request.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "Ora_Database.h"
#include "RequestTestSupport.h"
#include "SendMutex.h"
#include "TraceCapture.h"
#include "VelCachedInstanceList.h"

namespace {

using reqtest::kRac;
using reqtest::kSingle;
using Rows = std::vector<std::vector<std::string>>;

// A catalog request whose time-out started some seconds ago, as if it had waited in its queue.
class AgedRequest : public Vel_SimpleRequest {
 public:
  AgedRequest(Vel_AgentFacRequest& request, int age) : Vel_SimpleRequest(request) {
    m_creationTime -= age;
  }
};

class RequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dbs.make("single", kSingle);
    m_dbs.make("rac", kRac);
  }

  // A connected session on connect with its instance cache filled.
  void open(const char* connect, const char* instanceName) {
    m_db.reset(
        new Ora_Database(m_catalog, connect, "monitor", "monitor", "", instanceName, instanceName));
    Ora_ErrorMsg error;
    ASSERT_TRUE(m_db->Connect(error, false)) << error.getMessage();
    m_instances.init(*m_db);
    m_instances.update(*m_db);
  }

  // Runs a catalog request through process and send; returns the rows the agent received.
  Rows run(const char* group, const std::vector<velagent::RequestInfoItem>& items = {},
           bool* processed = nullptr) {
    std::string id;
    Vel_AgentFacRequest wrapper(m_peer.receive(group, "SUB", items, &id), 60);
    Vel_SimpleRequest request(wrapper);
    Ora_AutoStmtTable table;
    bool ok = request.process(*m_db, &table, 1000);
    if (processed) *processed = ok;
    request.send(gMutexSend, &table, m_groups, m_instances);
    return reqtest::rowsOf(m_peer.answer(id));
  }

  ocitest::SimDatabases m_dbs;
  OraXMLSQLData m_catalog = reqtest::makeCatalog();
  VelAttrGroups m_groups = reqtest::makeAttrGroups();
  reqtest::LinkPeer m_peer;
  std::unique_ptr<Ora_Database> m_db;
  VelCachedInstanceList m_instances;
};

TEST_F(RequestTest, RecordHandOverAndTimeOutFloor) {
  std::string id;
  Vel_AgentFacRequest* wrapper =
      new Vel_AgentFacRequest(m_peer.receive(reqtest::kStats, "SUB9", {}, &id), 2);
  EXPECT_EQ(wrapper->getTimeout(), 5);  // never below 5 seconds
  {
    Vel_SimpleRequest request(*wrapper);
    // The data request owns the record now; the wrapper answers as if it had none.
    EXPECT_EQ(wrapper->getRequest(), nullptr);
    EXPECT_STREQ(wrapper->getSubNode(), "");
    EXPECT_STREQ(request.getSQLID(), "TEST_STATS");
    EXPECT_EQ(request.getRequestID(), id);
  }
  // Deleting the emptied wrapper frees nothing twice (the sanitizer builds check this).
  delete wrapper;
  Vel_AgentFacRequest empty(nullptr, 30);
  EXPECT_EQ(empty.getFilterInfo(), nullptr);
}

TEST_F(RequestTest, ClusterRowsMappedByNameAndLabelledPerInstance) {
  open(kRac, "RACCONN");
  // A session of an instance the cache does not know.
  m_dbs.exec(kRac,
             "INSERT INTO \"gv$session\"(inst_id, sid, username, type) VALUES(7, 5, 'GHOST', "
             "'USER')");
  Rows rows = run(reqtest::kSessions);
  // Attributes: DBINSTNAME, USERNAME, MODULE (no such column), SID, DBHOSTNAME, DBUNIQNAME; the
  // result column PROGRAM is not sent.
  Rows expected = {{"RACDB1", "MONITOR", "", "101", "rachost1", "RACDB"},
                   {"RACDB1", "APP", "", "142", "rachost1", "RACDB"},
                   {"RACDB2", "MONITOR", "", "101", "rachost2", "RACDB"},
                   {"RACDB2", "APP", "", "142", "rachost2", "RACDB"},
                   {"", "GHOST", "", "5", "", "RACDB"}};
  EXPECT_EQ(rows, expected);
}

TEST_F(RequestTest, RowsWithoutInstanceColumnCarryTheConnectedInstance) {
  open(kSingle, "PRODCONN");
  Rows rows = run(reqtest::kStats);
  ASSERT_EQ(rows.size(), 5u);
  // "value" in the definition finds the column VALUE.
  EXPECT_EQ(rows[0], (std::vector<std::string>{"771200", "execute count", "PROD", "dbhost1"}));
  EXPECT_EQ(rows[4], (std::vector<std::string>{"98231", "user commits", "PROD", "dbhost1"}));
}

TEST_F(RequestTest, FilterBecomesWhereClause) {
  open(kRac, "RACCONN");
  Rows rows = run(reqtest::kSessions,
                  {reqtest::columnItem("USERNAME"), reqtest::filterItem("((USERNAME EQ 'APP'))")});
  Rows expected = {{"RACDB1", "APP", "", "142", "rachost1", "RACDB"},
                   {"RACDB2", "APP", "", "142", "rachost2", "RACDB"}};
  EXPECT_EQ(rows, expected);
}

TEST_F(RequestTest, OracleErrorRaisesEventAndAnswersEmpty) {
  open(kSingle, "PRODCONN");
  bool processed = true;
  Rows rows = run(reqtest::kBroken, {}, &processed);
  EXPECT_FALSE(processed);
  EXPECT_TRUE(rows.empty());
  std::vector<velagent::Event> events = m_peer.events(1);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(reqtest::eventRow(events[0]),
            reqtest::missingTableEvent("PRODCONN", "Query attribute group 'TEST_BROKEN'"));
  // The event precedes the answer on the link.
  EXPECT_TRUE(m_peer.agent().takeUnclaimedAnswers().empty());
}

TEST_F(RequestTest, StatementPastItsTimeOutIsCancelledAndAnsweredEmpty) {
  open(kSingle, "PRODCONN");
  m_dbs.exec(kSingle, "INSERT INTO sim_faults VALUES('delay', 'slow_marker', 0, 8000)");
  std::string id;
  Vel_AgentFacRequest wrapper(m_peer.receive(reqtest::kSlow, "SUB", {}, &id), 5);
  // Four of its five seconds are gone: about one second is left for the statement.
  AgedRequest request(wrapper, 4);
  Ora_AutoStmtTable table;
  EXPECT_FALSE(request.process(*m_db, &table, 1000));
  request.send(gMutexSend, &table, m_groups, m_instances);
  EXPECT_TRUE(reqtest::rowsOf(m_peer.answer(id)).empty());
  std::vector<velagent::Event> events = m_peer.events(1);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(reqtest::eventRow(events[0])[3], "1013");
}

TEST_F(RequestTest, MissingStatementDefinitionOrAttributes) {
  open(kSingle, "PRODCONN");
  {
    veltest::TraceCapture trace;
    bool processed = true;
    EXPECT_TRUE(run(reqtest::kNoStatement, {}, &processed).empty());
    EXPECT_FALSE(processed);
    EXPECT_TRUE(trace.contains("Error, can not load the SQLID TEST_NOSQL from sql xml file"));
  }
  {
    veltest::TraceCapture trace;
    EXPECT_TRUE(run(reqtest::kNoAttributes).empty());
    EXPECT_TRUE(trace.contains("Unable send result for 0 column data for"));
  }
  // Without a definition nothing is answered.
  std::string id;
  Vel_AgentFacRequest wrapper(m_peer.receive(reqtest::kNoDefinition, "SUB", {}, &id), 60);
  Vel_SimpleRequest request(wrapper);
  Ora_AutoStmtTable table;
  EXPECT_TRUE(request.process(*m_db, &table, 1000));
  veltest::TraceCapture trace;
  request.send(gMutexSend, &table, m_groups, m_instances);
  EXPECT_TRUE(trace.contains("Error at searching attribute group for SQLID:TEST_NODEF"));
  EXPECT_EQ(m_peer.answer(id, 300).status, velagent::WaitStatus::kTimeout);
}

TEST_F(RequestTest, NotConnectedSessionAnswersEmptyWithoutOracleEvent) {
  m_db.reset(new Ora_Database(m_catalog, kSingle, "monitor", "monitor", "", "X", "X"));
  EXPECT_TRUE(run(reqtest::kStats).empty());
  EXPECT_EQ(m_peer.agent().eventCount(), 0u);
}

TEST_F(RequestTest, StatementForAnotherThread) {
  open(kSingle, "PRODCONN");
  Vel_SQLRequest request("TEST_STATS");
  EXPECT_EQ(request.Type(), VEL_REQUEST_TYPE_SQL);
  request.setStartTime(time(nullptr));
  EXPECT_TRUE(request.process(*m_db, 10));
  EXPECT_TRUE(request.succeeded());
  EXPECT_EQ(request.getTable().getStoredRowCount(), 5u);
  // Running again replaces the rows instead of adding to them.
  EXPECT_TRUE(request.process(*m_db, 10));
  EXPECT_EQ(request.getTable().getStoredRowCount(), 5u);
  request.markComplete();
  EXPECT_TRUE(request.waitComplete(1000));

  Vel_SQLRequest missing("NOT_IN_CATALOG");
  EXPECT_FALSE(missing.process(*m_db, 10));
  Vel_SQLRequest broken("TEST_BROKEN");
  EXPECT_FALSE(broken.process(*m_db, 10));
  EXPECT_FALSE(broken.succeeded());
  EXPECT_EQ(m_peer.events(1).size(), 1u);
}

TEST(DiscoveryParameters, RecognisedByFilter) {
  auto check = [](const char* name, const char* value) {
    RequestInfo info{};
    info.name = const_cast<char*>(name);
    info.value = const_cast<char*>(value);
    return Vel_DLABaseParameterRequest::isDLAParameterRequest(&info);
  };
  EXPECT_TRUE(check("_FILTER", "((PAPANAME EQ 'VANTOR_EXTAGT_DBINFO'))"));
  EXPECT_TRUE(check("_FILTER", "((NAME EQ 'VANTOR_EXTAGT_RAC_INFO'))"));
  EXPECT_FALSE(check("_FILTER", "((NAME EQ 'processes'))"));
  EXPECT_FALSE(check("_FILTER", "((NAME NE 'VANTOR_EXTAGT_DBINFO'))"));
  EXPECT_FALSE(check("NAME", "NAME EQ 'VANTOR_EXTAGT_DBINFO'"));
  EXPECT_FALSE(check("_FILTER", nullptr));
  EXPECT_FALSE(Vel_DLABaseParameterRequest::isDLAParameterRequest(nullptr));
}

TEST_F(RequestTest, DiscoveryParametersAnsweredAsNameValueRows) {
  open(kRac, "RACCONN");
  std::string id;
  Vel_AgentFacRequest wrapper(
      m_peer.receive(RDB_Parameter, "SUB",
                     {reqtest::filterItem("((PAPANAME EQ 'VANTOR_EXTAGT_RAC_INFO'))((PAPANAME EQ "
                                          "'VANTOR_EXTAGT_DBINFO'))((PAPANAME EQ "
                                          "'VANTOR_EXTAGT_INSTANCE_INFO'))((PAPANAME EQ "
                                          "'VANTOR_EXTAGT_OTHER'))")},
                     &id),
      60);
  Vel_DLABaseParameterRequest request(wrapper);
  request.process(*m_db, gMutexSend, m_instances, "monhost.example.com", "192.0.2.7");
  Rows expected = {
      {"VANTOR_EXTAGT_DBINFO",
       "NAME=RACDB;DB_UNIQUE_NAME=RACDB;DATABASE_ROLE=PRIMARY;LOCALHOST=monhost.example.com;"
       "LOCALADDR=192.0.2.7"},
      {"VANTOR_EXTAGT_INSTANCE_INFO",
       "INST_ID=1,INSTANCE_NAME=RACDB1,HOST_NAME=rachost1;INST_ID=2,INSTANCE_NAME=RACDB2,"
       "HOST_NAME=rachost2"},
      {"VANTOR_EXTAGT_RAC_INFO",
       "CLUSTER=YES;DBUNIQNAME=RACDB;INSTANCES=RACDB1@rachost1,RACDB2@rachost2"}};
  EXPECT_EQ(reqtest::rowsOf(m_peer.answer(id)), expected);
}

}  // namespace
