// The alert-log manager of one connection, a cycle at a time without the thread: the instances
// and configured paths that choose the logs, the read positions kept in the runtime file, event
// and summary rows as the agent receives them, and the message-identifier copy.
#include "CDBAlertLog.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AgentSim.h"
#include "AlertLogThread.h"
#include "TestSupport.h"
#include "VelAttrGroupNames.h"
#include "Vel_PostEvent.h"

namespace {

using Rows = std::vector<std::pair<std::string, std::string>>;  // instance, trace folder

class AlertLogManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(veltest::writeFile(m_dir.file("msgid"), "ORA-600=1\nORA-1555=2\nORA-60=3\n"));
    ASSERT_TRUE(m_msgids.load());
    ASSERT_TRUE(m_agent.listen(0));
    cp_setPort(m_agent.port());
    ASSERT_EQ(cp_OpenConnection(), 0);
    ASSERT_TRUE(m_agent.acceptClient(5000));
    for (const char* g : {kAgentEventGroup, RDB_Alert_Log_Details, ASM_Alert_Log_Details,
                          DG_Alert_Log_Details, RDB_Alert_Log_Summary})
      cp_RegisterAttrGroup(g, 1, g);
    cp_RegistrationComplete();
    ASSERT_TRUE(m_agent.waitRegistration(5000));
  }
  void TearDown() override { cp_CloseConnection(); }

  void cycle(CDBAlertLog& db, const Rows& rows, CPropFile& runtime) {
    VelTypePtrList<CDBAlertLogInfo> infos;
    for (const auto& r : rows) {
      CDBAlertLogInfo* info = new CDBAlertLogInfo;
      info->m_instanceName.assign(r.first.c_str());
      info->m_dumpDest.assign(r.second.c_str());
      info->m_hostName.assign("h1");
      info->m_databaseName.assign("DB");
      infos.push_back(info);
    }
    db.search(m_msgids, runtime, infos);
  }
  veltest::TempDir m_dir;
  velagent::AgentSim m_agent;
  CPropFile m_msgids{m_dir.file("msgid").c_str()};
  CPropFile m_runtime{m_dir.file("runtime").c_str()};
};

TEST_F(AlertLogManagerTest, InstancesAndConfiguredPathsChooseTheLogs) {
  CDBAlertLog db("C1", "/cfg/alert_B.log: relative.log ::  /cfg2/ALERT_c.LOG ", "SUB1", "");
  struct Case {
    Rows rows;
    std::vector<std::string> expected;
  } cases[] = {
      {{{"A", "/d1"}, {"B", "/d1"}}, {"/d1/alert_A.log", "/cfg/alert_B.log"}},
      {{}, {"/d1/alert_A.log", "/cfg/alert_B.log"}},  // database not open: logs stay
      // A moved in place, B kept, C appended from its configured path (name ignoring case).
      {{{"C", "/d1"}, {"A", "/d2"}}, {"/d2/alert_A.log", "/cfg/alert_B.log", "/cfg2/ALERT_c.LOG"}},
  };
  for (const Case& c : cases) {
    cycle(db, c.rows, m_runtime);
    std::vector<std::string> paths;
    for (const CAlertLog* log : db.getAlertLogs()) paths.push_back(log->getPath());
    EXPECT_EQ(paths, c.expected);
  }
}

TEST_F(AlertLogManagerTest, ReadPositionsSurviveARestartThroughTheRuntimeFile) {
  const std::string log = m_dir.file("alert_A.log");
  ASSERT_TRUE(veltest::writeFile(log, "ORA-00600: first\nORA-00942: not listed\n"));
  {
    CDBAlertLog db("C1", "", "SUB1", "");
    cycle(db, {{"A", m_dir.path()}}, m_runtime);
    ASSERT_TRUE(m_runtime.save("#Agent runtime information"));
  }
  CPropFile reread(m_dir.file("runtime").c_str());
  ASSERT_TRUE(reread.load());
  EXPECT_STREQ(reread.getProperty("C1.DB.A.alertlog.path", ""), log.c_str());
  EXPECT_EQ(reread.getPropertyAsLong("C1.DB.A.alertlog.size", 0), 39);
  EXPECT_GT(reread.getPropertyAsLong("C1.DB.A.alertlog.mtime", 0), 0);

  // A new manager (a restart) continues at the saved size: it finds the level-2 line only.
  ASSERT_TRUE(veltest::writeFile(log, "ORA-00600: first\nORA-00942: not listed\nORA-1555: next\n"));
  CDBAlertLog restarted("C1", "", "SUB1", "");
  cycle(restarted, {{"A", m_dir.path()}}, reread);
  const CAlertLog* found = restarted.getAlertLogs().at(0);
  EXPECT_EQ(found->getLevel1Total() * 10 + found->getLevel2Total(), 1);
}

TEST_F(AlertLogManagerTest, EventRowsCarryTheMessageInTheGroupOfTheDatabaseType) {
  struct tm when = {};
  when.tm_year = 126, when.tm_mon = 11, when.tm_mday = 2, when.tm_hour = 10, when.tm_min = 15;
  when.tm_sec = 30, when.tm_isdst = -1;
  const time_t stamp = mktime(&when);
  std::string accents;
  for (int i = 0; i < 81; ++i) accents += "\xC3\xA9";  // 162 bytes of UTF-8
  const std::string cut = accents.substr(0, 160);
  // The database type, its group (null: nothing is sent) and the row of an entry whose text is
  // the row's, except for the first case.
  const struct Case {
    const char* type;
    const char* group;
    CAlertRow row;
  } cases[] = {
      {"ASM", ASM_Alert_Log_Details, {"2", "I1", "ORA", "1555", "ORA-1555", cut, "", "h1", "DB"}},
      {"RDB", RDB_Alert_Log_Details, {"1", "I1", "ORA", "00600", "ORA-00600", "x", "", "h", ""}},
      {"DG", DG_Alert_Log_Details, {"4", "I2", "TNS", "12535", "TNS-12535", "", "", "h1", "D"}},
      {"", nullptr, {"1", "I1", "ORA", "600", "ORA-600", "x", "", "h1", "DB"}},
      {"RAC", nullptr, {"1", "I1", "ORA", "600", "ORA-600", "x", "", "h1", "DB"}},
  };
  CDBAlertLog db("C1", "", "SUB1", "UTF-8");
  for (Case c : cases) {
    SCOPED_TRACE(c.type);
    CAlertEntry entry;
    entry.set(c.row[1].c_str(), c.row[4].c_str(), atoi(c.row[0].c_str()), stamp,
              c.row[5] == cut ? accents.c_str() : c.row[5].c_str(), c.row[7].c_str(),
              c.row[8].c_str());
    c.row[6] = "1261202101530000";
    db.setDatabase("DB", c.type);
    CAlertRow row;
    const char* group = nullptr;
    EXPECT_EQ(db.makeEventRow(entry, row, &group), c.group != nullptr);
    if (c.group == nullptr) continue;
    EXPECT_EQ(group, c.group);
    EXPECT_EQ(row, c.row);
  }
  // An unknown charset is raised once as event 1003 and replaced by the locale's code page.
  CDBAlertLog bad("C9", "", "SUB9", "no-such-charset");
  ASSERT_TRUE(m_agent.waitEvents(1, 3000));
  EXPECT_EQ(m_agent.events()[0].rows.at(0).at(3), "1003");
  EXPECT_GT(bad.getCodePage(), 0);
}

TEST_F(AlertLogManagerTest, SummaryAnswersFromTheLiveLogs) {
  ASSERT_TRUE(
      veltest::writeFile(m_dir.file("alert_A.log"), "ORA-600: a\nORA-1555: b\nORA-60: c\n"));
  CDBAlertLog* db = new CDBAlertLog("C1", "", "SUB1", "");
  db->setDatabase("DB", "RDB");
  cycle(*db, {{"A", m_dir.path()}, {"B", m_dir.path()}}, m_runtime);
  gDBAlertLogs = {db};
  for (const auto& c : std::vector<std::pair<const char*, size_t>>{{"SUB2", 0}, {"SUB1", 2}}) {
    SCOPED_TRACE(c.first);
    std::string id = m_agent.sendDataRequest(RDB_Alert_Log_Summary, c.first, {});
    Request* request = nullptr;
    ASSERT_EQ(cp_WaitForRequest(&request), 0);
    processRequestAlertLogSummary(request);
    velagent::Answer answer = m_agent.waitAnswer(id, 3000);
    ASSERT_TRUE(answer.ok());
    ASSERT_EQ(answer.rows.size(), c.second);
    if (c.second == 0) continue;
    const std::vector<std::string>& a = answer.rows[0];
    EXPECT_EQ(a, (std::vector<std::string>{"A", m_dir.file("alert_A.log"), "Yes", "1", "1", a[5],
                                           "1", "1", "h1", "DB"}));
    EXPECT_EQ(a[5].size(), 16u);
    EXPECT_EQ(answer.rows[1][2], "No");  // B's log does not exist
  }
  gDBAlertLogs.clear();
  delete db;
}

TEST_F(AlertLogManagerTest, TheInstanceCopyOfTheTemplateIsMadeOnceAndKept) {
  setenv("AGENT_BIN_DIR", m_dir.path().c_str(), 1);
  VelString home(m_dir.path().c_str()), instance("i1"), host("hA");
  const std::string copy = m_dir.file("config/hA_vl_i1_msgid.properties");
  struct Case {
    const char* existing;  // null: no instance file
    const char* expected;  // the instance file afterwards
  } cases[] = {{nullptr, "ORA-1=1\n"}, {"", "ORA-1=1\n"}, {"ORA-2=2\n", "ORA-2=2\n"}};
  ASSERT_TRUE(veltest::writeFile(m_dir.file("velmsgid.properties"), "ORA-1=1\n"));
  for (const Case& c : cases) {
    std::remove(copy.c_str());
    ASSERT_TRUE(!c.existing || veltest::writeFile(copy, c.existing));  // folder made by case 1
    std::string used;
    makeMessageIdProps(used, home, instance, host);
    EXPECT_EQ(used, copy);
    EXPECT_EQ(veltest::readFile(copy), c.expected);
  }
}

// The search interval: 60 to 3600 seconds, 300 when unset; any other value turns the search off.
TEST(AlertLogInterval, SixtyToThirtySixHundredSecondsElseOff) {
  const std::pair<const char*, int> cases[] = {{nullptr, 300}, {"60", 60},  {"3600", 3600},
                                               {"59", 0},      {"3601", 0}, {"soon", 0}};
  for (const auto& [value, seconds] : cases) {
    veltest::ScopedEnv env("VEL_LOG_INTERVAL", value);
    EXPECT_EQ(getSearchInterval(), seconds) << (value ? value : "unset");
  }
}

}  // namespace
