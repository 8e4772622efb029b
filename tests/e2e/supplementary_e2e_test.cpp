// The supplementary groups through velagent and the stand-in: top SQL, SQL text, disk space,
// customized SQL (one statement failing), Data Guard messages pushed once each (one written while
// the collector runs), and -parsesql on good and broken files.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "VelclientRun.h"

namespace {

using velagent::RequestInfoItem;
using vele2e::Rows;

RequestInfoItem cond(const std::string& name, const std::string& value, const char* logOp = "AND") {
  return RequestInfoItem{name, value, "EQ", logOp};
}

class SupplementaryRun : public vele2e::VelclientRun {
 protected:
  std::string catalogText() const override {
    return veltest::readFile(veltest::sourceDir() + "/etc/velsql.xml");
  }
  std::string configText() const override {
    return vele2e::configSection("PROD", "dbhost1:1521/PROD") +
           vele2e::configSection("SB", "sbhost1:1521/PRODSB");
  }
  void makeDatabases() override {
    // PROD's dump folder and first archive destination are folders of the test; the second
    // archive destination is a prefix inside one; a data file is missing and one is on ASM.
    ASSERT_EQ(mkdir(m_dir.file("arch").c_str(), 0755), 0);
    std::string sql =
        "UPDATE \"gv$diag_info\" SET value = '@' WHERE name = 'Diag Trace';\n"
        "UPDATE \"gv$archive_dest\" SET destination = '@' WHERE dest_id = 1;\n"
        "UPDATE \"gv$archive_dest\" SET status = 'VALID', target = 'LOCAL', destination = "
        "'@/arch/log' WHERE dest_id = 2;\n"
        "UPDATE dba_temp_files SET file_name = '+DATA/PROD/temp01.dbf';\n";
    for (size_t at; (at = sql.find('@')) != std::string::npos;) sql.replace(at, 1, m_dir.path());
    ASSERT_TRUE(veltest::writeFile(m_dir.file("paths.sql"), sql));
    makeDatabase("single.sql", "dbhost1_1521_PROD.db", m_dir.file("paths.sql"));
    makeDatabase("standby.sql", "sbhost1_1521_PRODSB.db");
    ASSERT_TRUE(
        veltest::writeFile(m_dir.file("cus.properties"),
                           "[SELECTSQL]\nSQL_ID = USERS\n"
                           "SQL_TEXT = select username, user_id, created\n"
                           "  from dba_users where username = 'SYS'\n"
                           "[SELECTSQL]\nSQL_ID = BROKEN\nSQL_TEXT = select x from nowhere\n"
                           "SQL_TIMEOUT = 20\n"));
  }

  Rows data(const std::string& group, const std::string& subnode,
            const std::vector<RequestInfoItem>& items = {}) {
    velagent::Answer a = m_agent.dataRequest(group, subnode, items, 20000);
    EXPECT_TRUE(a.ok()) << group << "\n" << clientLog();
    return a.rows;
  }

  // The message numbers of SB's DG_Status events, once at least count of them came (or 10 s).
  std::vector<std::string> dgNumbers(size_t count) {
    std::vector<std::string> numbers;
    for (int i = 0; i < 100 && (i == 0 || numbers.size() < count); ++i) {
      if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
      numbers.clear();
      for (const velagent::Event& e : m_agent.events())
        if (e.group == "DG_Status" && e.subnode == "SB" && !e.rows.empty() &&
            e.rows[0].size() == 11)
          numbers.push_back(e.rows[0][3]);
    }
    return numbers;
  }
};

TEST_F(SupplementaryRun, EveryGroupIsServedAsItsDataSays) {
  startRegistered({"VEL_CUSTOMIZED_SQL=" + m_dir.file("cus.properties"),
                   "VEL_TRACE=error;Vel_DGStatus=detail"});
  ASSERT_TRUE(hasStatus(waitStatus("PROD", "Active", 10000), "PROD", "Active")) << clientLog();

  // Top SQL: hostile and unknown filter values are skipped, never pasted into the block.
  Rows top = data("RDB_Top_SQL", "PROD",
                  {cond("MODULE", "x'; drop table orders; --"), cond("timestamp", "1")});
  ASSERT_EQ(top.size(), 3u);
  EXPECT_EQ((std::vector<std::string>{top[0][0], top[0][79], top[0][80]}),
            (std::vector<std::string>{"5zruc4v6y32f9", "PROD", "dbhost1"}));

  // SQL text: the lookup chosen by the conditions (their values bound): pieces of the text.
  const std::pair<std::vector<RequestInfoItem>, size_t> textCases[] = {
      {{cond("sqlid", "7hq2v0n6bx3ut"), cond("dbid", "1234567890")}, 3},
      {{cond("address", "000000007A3B9C10"), cond("dbid", "1234567890")}, 1},
      {{cond("sqlid", "x' or '1'='1"), cond("dbid", "1234567890")}, 0},
      {{cond("sqlid", "7hq2v0n6bx3ut", "OR"), cond("dbid", "1234567890")}, 0},
      {{cond("sqlid", "7hq2v0n6bx3ut")}, 0},
  };
  for (const auto& c : textCases) {
    Rows rows = data("RDB_SQLTEXT", "PROD", c.first);
    ASSERT_EQ(rows.size(), c.second) << c.first[0].value;
    for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i][3], std::to_string(i));
  }

  // Disk space: the test's folders are measured on this host, the rest are reported unmeasured.
  std::set<std::string> measured, unmeasured;
  for (const auto& row : data("RDB_Disk_Space", "PROD")) {
    ASSERT_EQ(row.size(), 14u);
    (row[1] == "YES" ? measured : unmeasured).insert(row[4]);
    EXPECT_EQ(row[1] == "YES", row[5] != "-1") << row[4];
  }
  EXPECT_EQ(measured.count(m_dir.path()), 1u);
  EXPECT_EQ(measured.count(m_dir.path() + "/arch/log"), 1u);
  EXPECT_EQ(unmeasured.count("+DATA/PROD"), 1u);
  EXPECT_EQ(unmeasured.count("/u01/app/oracle/oradata/PROD"), 1u);

  // Customized SQL: the failing statement sends no row, does not stop the other, and shows in
  // the summary.
  Rows detail = data("RDB_Customized_SQL_Detail", "PROD",
                     {cond("SQLID", "BROKEN"), cond("SQLID", "USERS"), cond("SQLID", "NONE")});
  ASSERT_EQ(detail.size(), 1u);
  ASSERT_EQ(detail[0].size(), 28u);
  EXPECT_EQ((std::vector<std::string>{detail[0][0], detail[0][1], detail[0][2], detail[0][11],
                                      detail[0][12], detail[0][21]}),
            (std::vector<std::string>{"USERS", "USERNAME", "SYS", "USER_ID", "0", "CREATED"}));
  Rows summary = data("RDB_Customized_SQL_Summary", "PROD");
  ASSERT_EQ(summary.size(), 2u);
  EXPECT_EQ(summary[0][3],
            "select username, user_id, created from dba_users where username = 'SYS' ");
  EXPECT_EQ((std::vector<std::string>{summary[0][4], summary[1][2], summary[1][4],
                                      summary[1][5].substr(0, 9), summary[1][7]}),
            (std::vector<std::string>{"0", "BROKEN", "942", "ORA-00942", "20"}));

  // Data Guard: the standby's five messages, then one written while running, each once.
  ASSERT_EQ(dgNumbers(5).size(), 5u) << clientLog();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(m_sim.file("sbhost1_1521_PRODSB.db").c_str(), &db), SQLITE_OK);
  sqlite3_busy_timeout(db, 5000);
  EXPECT_EQ(sqlite3_exec(db,
                         "INSERT INTO \"gv$dataguard_status\" VALUES(1, 'Log Apply Services', "
                         "'Informational', 0, 6, 0, 'NO', '2026-12-01 08:00:00', 'new', 0)",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  ASSERT_EQ(dgNumbers(6).size(), 6u) << clientLog();
  // Two more keep-alive checks: nothing is sent twice.
  const char kCheck[] = "DG_Status subnode SB latest message num before update";
  ASSERT_TRUE(waitForLog(kCheck, 10000, vele2e::countOf(clientLog(), kCheck) + 2)) << clientLog();
  EXPECT_EQ(dgNumbers(6), (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));
  shutdownCleanly();
}

TEST_F(SupplementaryRun, ParseSqlListsTheFileAndSaysByItsExitCodeWhetherItWasClean) {
  ASSERT_TRUE(veltest::writeFile(m_dir.file("broken.properties"),
                                 "junk line\n[SELECTSQL]\nSQL_TEXT = select 1 from dual\n"
                                 "[SELECTSQL]\nSQL_ID = T\nSQL_TEXT = select 2 from dual\n"
                                 "SQL_TIMEOUT = soon\n"));
  const std::tuple<std::string, int, std::string> cases[] = {
      {m_dir.file("cus.properties"), 0,
       "SQLID: USERS\nSQL: select username, user_id, created\nfrom dba_users where username = "
       "'SYS'\n\nSQLID: BROKEN\nSQL: select x from nowhere\n\n"},
      {m_dir.file("broken.properties"), 2,
       "SQLID: T\nSQL: select 2 from dual\n\n3 line(s) ignored or statement(s) dropped, see the "
       "trace\n"},
      {m_dir.file("missing.properties"), 1,
       "Load file: " + m_dir.file("missing.properties") + " Failed\n"},
  };
  for (const auto& [file, status, output] : cases) {
    int rc = system(("LD_LIBRARY_PATH=" + veltest::buildDir() + "/sim VEL_TRACE=none " + binary() +
                     " -parsesql " + file + " >" + m_dir.file("out.txt") + " 2>&1")
                        .c_str());
    EXPECT_EQ(WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, status) << file;
    EXPECT_EQ(veltest::readFile(m_dir.file("out.txt")), output);
  }
}

}  // namespace
