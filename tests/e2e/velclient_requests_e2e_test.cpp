// velclient's catalog requests end to end, on a single instance, a two-instance cluster and a
// database that comes up late: rows mapped onto the attribute definition and labelled per
// instance, filters, the interval cache, Oracle errors raised as events, statements cancelled at
// their time-out, and take actions on the subnode's own session.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "VelclientRun.h"

namespace {

using vele2e::configSection;
using vele2e::Rows;
using vele2e::sqlInfo;

// The items of a request for TEST_MAPPED's attributes with a filter: the database evaluates the
// filter on requested attributes only.
std::vector<velagent::RequestInfoItem> mappedWithFilter(const std::string& filter) {
  std::vector<velagent::RequestInfoItem> items;
  for (const char* name : {"NAME", "VALUE", "DBINSTNAME"}) items.push_back({name, "", "EQ", "AND"});
  items.push_back({"_FILTER", filter, "EQ", "AND"});
  return items;
}

class RequestRun : public vele2e::VelclientRun {
 protected:
  std::string catalogText() const override {
    // TEST_MAPPED returns its columns in another order than the definition, one column the
    // definition does not know, and none for ABSENT; on a cluster the first column is the
    // instance of each row.
    return vele2e::catalogDocument(
        vele2e::baseCatalogEntries() +
        sqlInfo("\"TEST_MAPPED\" simplesql=\"true\" odiversion=\"2\" InstanceIDIndex=\"0\"",
                "select 1 as inst_id, value, name, 'surplus' as surplus from v$sysstat "
                "order by name",
                "select inst_id, value, name, 'surplus' as surplus from gv$sysstat "
                "order by inst_id, name") +
        sqlInfo("\"TEST_CACHED\" simplesql=\"true\" odiversion=\"1\" interval=\"2\" type=\"RDB\"",
                "select to_char(systimestamp, 'YYYY-MM-DD HH24:MI:SS.FF6') as taken from dual") +
        sqlInfo("\"TEST_BROKEN\" simplesql=\"true\" odiversion=\"1\"",
                "select name from no_such_table") +
        sqlInfo("\"TEST_STUCK\" simplesql=\"true\" odiversion=\"1\"",
                "select name as stuck_marker from v$sysstat"));
  }

  std::string refText() const override {
    return "<?xml version=\"1.0\"?>\n<agent_ref>\n"
           "  <custom ag=\"TEST_MAPPED\"><metric metricName=\"NAME\" type=\"string\"/>"
           "<metric metricName=\"VALUE\" type=\"string\"/>"
           "<metric metricName=\"ABSENT\" type=\"string\"/>"
           "<metric metricName=\"DBINSTNAME\" type=\"string\"/>"
           "<metric metricName=\"DBHOSTNAME\" type=\"string\"/>"
           "<metric metricName=\"DBUNIQNAME\" type=\"string\"/></custom>\n"
           "  <custom ag=\"TEST_CACHED\"><metric metricName=\"TAKEN\" type=\"string\"/></custom>\n"
           "  <custom ag=\"TEST_BROKEN\"><metric metricName=\"NAME\" type=\"string\"/></custom>\n"
           "  <custom ag=\"TEST_STUCK\"><metric metricName=\"STUCK_MARKER\" type=\"string\"/>"
           "</custom>\n"
           "</agent_ref>\n";
  }

  std::string configText() const override {
    return configSection("PROD", "dbhost1:1521/PROD") +
           configSection("RAC", "rac-scan:1521/RACDB") + configSection("LATE", "late:1521/LATE");
  }

  void makeDatabases() override {
    // The stuck statement would take 9 s: longer than any time-out used here.
    ASSERT_TRUE(
        veltest::writeFile(m_dir.file("stuck.sql"),
                           "INSERT INTO sim_faults VALUES('delay', 'stuck_marker', 0, 9000);\n"));
    makeDatabase("single.sql", "dbhost1_1521_PROD.db", m_dir.file("stuck.sql"));
    makeDatabase("rac.sql", "rac-scan_1521_RACDB.db");
    // LATE has no database until a test makes one.
  }

  // Runs one statement on a simulated database file, as another program would.
  void execOn(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(m_sim.file(file).c_str(), &db), SQLITE_OK);
    sqlite3_busy_timeout(db, 5000);
    char* message = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    EXPECT_EQ(rc, SQLITE_OK) << (message ? message : "");
    sqlite3_free(message);
    sqlite3_close(db);
  }

  void waitActive(const std::string& subnode) {
    ASSERT_TRUE(hasStatus(waitStatus(subnode, "Active", 10000), subnode, "Active")) << clientLog();
  }
};

TEST_F(RequestRun, RowsAreMappedByColumnNameAndLabelledPerInstance) {
  startRegistered();
  waitActive("PROD");
  waitActive("RAC");

  // Single instance: every row carries the connected instance, its host and the database name.
  velagent::Answer single = m_agent.dataRequest("TEST_MAPPED", "PROD", {}, 8000);
  ASSERT_TRUE(single.ok());
  ASSERT_EQ(single.rows.size(), 5u);
  for (const auto& row : single.rows) {
    ASSERT_EQ(row.size(), 6u);
    EXPECT_FALSE(row[0].empty());
    EXPECT_FALSE(row[1].empty());
    EXPECT_EQ(row[2], "");  // no such column: sent empty
    EXPECT_EQ(row[3], "PROD");
    EXPECT_EQ(row[4], "dbhost1");
    EXPECT_EQ(row[5], "PROD");
  }
  EXPECT_EQ(single.rows[0][0], "execute count");  // in the statement's order
  EXPECT_EQ(single.rows[0][1], "771200");

  // Cluster: the first column names each row's instance.
  velagent::Answer cluster = m_agent.dataRequest("TEST_MAPPED", "RAC", {}, 8000);
  ASSERT_TRUE(cluster.ok());
  ASSERT_EQ(cluster.rows.size(), 10u);
  std::multiset<std::string> labels;
  for (const auto& row : cluster.rows) {
    ASSERT_EQ(row.size(), 6u);
    labels.insert(row[3] + "@" + row[4]);
    EXPECT_EQ(row[5], "RACDB");
  }
  EXPECT_EQ(labels.count("RACDB1@rachost1"), 5u);
  EXPECT_EQ(labels.count("RACDB2@rachost2"), 5u);

  // A filter is evaluated by the database: one row per instance.
  velagent::Answer filtered = m_agent.dataRequest(
      "TEST_MAPPED", "RAC", mappedWithFilter("((NAME EQ 'user commits'))"), 8000);
  ASSERT_TRUE(filtered.ok());
  ASSERT_EQ(filtered.rows.size(), 2u);
  EXPECT_EQ(filtered.rows[0][0], "user commits");
  EXPECT_EQ(filtered.rows[0][3], "RACDB1");
  EXPECT_EQ(filtered.rows[1][3], "RACDB2");
  EXPECT_NE(filtered.rows[0][1], filtered.rows[1][1]);

  // The instance group of the cluster: one row per instance, the database name last.
  velagent::Answer instances = m_agent.dataRequest("RDB_Instance_Info", "RAC", {}, 8000);
  ASSERT_TRUE(instances.ok());
  ASSERT_EQ(instances.rows.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    ASSERT_EQ(instances.rows[i].size(), 18u);
    EXPECT_EQ(instances.rows[i][0], std::to_string(i + 1));
    EXPECT_EQ(instances.rows[i][2], "RACDB" + std::to_string(i + 1));
    EXPECT_EQ(instances.rows[i][3], "rachost" + std::to_string(i + 1));
    EXPECT_EQ(instances.rows[i][6], "OPEN");
    EXPECT_EQ(instances.rows[i][17], "RACDB");
  }
  shutdownCleanly();
}

TEST_F(RequestRun, IntervalGroupIsAnsweredFromItsCacheAndRefreshed) {
  startRegistered();
  waitActive("PROD");
  // A request every 100 ms for 6 s. The statement returns the time it ran, so answers that come
  // from the cache repeat it, and each refresh brings a new one.
  std::vector<std::string> ids;
  for (int i = 0; i < 60; ++i) {
    ids.push_back(m_agent.sendDataRequest("TEST_CACHED", "PROD", {}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::vector<std::string> taken;
  for (const std::string& id : ids) {
    velagent::Answer a = m_agent.waitAnswer(id, 10000);
    ASSERT_TRUE(a.ok());
    ASSERT_EQ(a.rows.size(), 1u);
    taken.push_back(a.rows[0][0]);
  }
  std::set<std::string> distinct(taken.begin(), taken.end());
  size_t longestRun = 1, run = 1;
  for (size_t i = 1; i < taken.size(); ++i) {
    run = taken[i] == taken[i - 1] ? run + 1 : 1;
    longestRun = std::max(longestRun, run);
  }
  EXPECT_GE(longestRun, 5u);       // identical rows from the cache
  EXPECT_GE(distinct.size(), 2u);  // refreshed after the interval
  EXPECT_LE(distinct.size(), 30u) << "most answers must come from the cache";
  // Refreshes run in order: a time once replaced never comes back.
  EXPECT_TRUE(std::is_sorted(taken.begin(), taken.end()));
  shutdownCleanly();
}

TEST_F(RequestRun, OracleErrorBecomesAnEventAndAnEmptyAnswer) {
  startRegistered();
  waitActive("PROD");
  size_t before = m_agent.eventCount();
  velagent::Answer broken = m_agent.dataRequest("TEST_BROKEN", "PROD", {}, 8000);
  ASSERT_TRUE(broken.ok());
  EXPECT_TRUE(broken.rows.empty());
  ASSERT_TRUE(m_agent.waitEvents(before + 1, 3000));
  bool found = false;
  for (const velagent::Event& e : m_agent.events()) {
    if (e.group != "Agent_Event" || e.rows.empty() || e.rows[0].size() != 7) continue;
    const auto& row = e.rows[0];
    if (row[3] != "942") continue;
    found = true;
    EXPECT_EQ(row[1], "Oracle");
    EXPECT_EQ(row[2], "PROD");
    EXPECT_NE(row[4].find("ORA-00942"), std::string::npos) << row[4];
    EXPECT_EQ(row[5], "Query attribute group 'TEST_BROKEN'");
  }
  EXPECT_TRUE(found);
  // The session survives the error.
  EXPECT_EQ(m_agent.dataRequest("TEST_MAPPED", "PROD", {}, 8000).rows.size(), 5u);
  shutdownCleanly();
}

TEST_F(RequestRun, StatementPastItsTimeOutIsCancelledAndTheSessionGoesOn) {
  // Collection time-out 8 - 3 = 5 s; the statement would take 9 s more.
  startRegistered({"CDP_COLLECTION_TIMEOUT=8"});
  waitActive("PROD");
  std::string id = m_agent.sendDataRequest("TEST_STUCK", "PROD", {});
  // The answer must come within the time-out plus the worker's one-second pause, well before
  // the statement would have ended.
  velagent::Answer stuck = m_agent.waitAnswer(id, 7500);
  ASSERT_TRUE(stuck.ok()) << velagent::waitStatusName(stuck.status);
  EXPECT_TRUE(stuck.rows.empty());
  velagent::Answer next = m_agent.dataRequest("TEST_MAPPED", "PROD", {}, 8000);
  ASSERT_TRUE(next.ok());
  EXPECT_EQ(next.rows.size(), 5u);
  shutdownCleanly();
}

TEST_F(RequestRun, DatabaseDownAtStartIsServedOnceItComesUp) {
  startRegistered();
  waitActive("PROD");
  ASSERT_TRUE(hasStatus(waitStatus("LATE", "Inactive", 8000), "LATE", "Inactive"));
  velagent::Answer before = m_agent.dataRequest("TEST_MAPPED", "LATE", {}, 8000);
  ASSERT_TRUE(before.ok());
  EXPECT_TRUE(before.rows.empty());

  makeDatabase("single.sql", "late_1521_LATE.db");
  waitActive("LATE");
  velagent::Answer after = m_agent.dataRequest("TEST_MAPPED", "LATE", {}, 8000);
  ASSERT_TRUE(after.ok());
  ASSERT_EQ(after.rows.size(), 5u);
  EXPECT_EQ(after.rows[0][3], "PROD");  // the seed's instance
  // Its interval statement now runs too.
  velagent::Answer cached = m_agent.dataRequest("TEST_CACHED", "LATE", {}, 8000);
  ASSERT_TRUE(cached.ok());
  EXPECT_EQ(cached.rows.size(), 1u);
  shutdownCleanly();
}

TEST_F(RequestRun, TakeActionsOnTheSubnodeSession) {
  startRegistered({"VEL_ACTION_NEWCONN=false", "VEL_SELECT_ACTION_MAXROW=3"});
  waitActive("PROD");
  waitActive("RAC");
  velagent::TaskResult select =
      m_agent.task("RAC",
                   "VELSELECT:select instance_name, host_name from gv$instance "
                   "order by inst_id;",
                   8000);
  ASSERT_TRUE(select.ok());
  EXPECT_EQ(select.rc, 0);
  // Last fetched row first, then the column line.
  ASSERT_EQ(select.outputs.size(), 3u);
  EXPECT_EQ(select.outputs[0].value, "RACDB2 / rachost2");
  EXPECT_EQ(select.outputs[1].value, "RACDB1 / rachost1");
  EXPECT_EQ(select.outputs[2].value, "INSTANCE_NAME / HOST_NAME");

  velagent::TaskResult limited =
      m_agent.task("PROD", "VELSELECT:select name from v$sysstat order by name", 8000);
  ASSERT_TRUE(limited.ok());
  EXPECT_EQ(limited.rc, 0);
  EXPECT_EQ(limited.outputs.size(), 4u);  // the row limit, then the column line

  velagent::TaskResult plsql = m_agent.task(
      "PROD",
      "VELPLSQL:BEGIN UPDATE \"gv$sysstat\" SET value = 7 WHERE name = 'user commits'; "
      "COMMIT; END;",
      8000);
  ASSERT_TRUE(plsql.ok());
  EXPECT_EQ(plsql.rc, 0);
  velagent::Answer changed = m_agent.dataRequest(
      "TEST_MAPPED", "PROD", mappedWithFilter("((NAME EQ 'user commits'))"), 8000);
  ASSERT_EQ(changed.rows.size(), 1u);
  EXPECT_EQ(changed.rows[0][1], "7");

  velagent::TaskResult failing =
      m_agent.task("PROD", "VELPLSQL:BEGIN RAISE_APPLICATION_ERROR(-20001, 'refused'); END;", 8000);
  ASSERT_TRUE(failing.ok());
  EXPECT_EQ(failing.rc, 20001);
  ASSERT_EQ(failing.outputs.size(), 1u);
  EXPECT_NE(failing.outputs[0].value.find("ORA-20001: refused"), std::string::npos)
      << failing.outputs[0].value;

  for (const char* action : {"velplsql:BEGIN NULL; END;", "SQL:select 1 from dual"}) {
    velagent::TaskResult refused = m_agent.task("PROD", action, 3000);
    ASSERT_TRUE(refused.ok()) << action;
    EXPECT_EQ(refused.rc, -1);
  }
  shutdownCleanly();
}

}  // namespace
