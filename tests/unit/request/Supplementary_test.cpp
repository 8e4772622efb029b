// Supplementary collections on the stand-in: cursor and by-name binds, SQL text pieces, the Data
// Guard high-water mark, disk sizes against statvfs, customized rows and outcomes.
#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "Ora_Database.h"
#include "RequestTestSupport.h"
#include "SendMutex.h"
#include "VelCachedInstanceList.h"
#include "Vel_CustomSQLRequest.h"
#include "Vel_DGStatus.h"
#include "Vel_DiskSpaceRequest.h"
#include "Vel_SQLTextRequest.h"
#include "Vel_TopRequest.h"

namespace {

[[maybe_unused]] ::testing::Environment* const kOciEnvironment =
    ::testing::AddGlobalTestEnvironment(new ocitest::OciEnvironment);

const char kStandby[] = "sbhost1:1521/PRODSB";

class Supplementary : public ::testing::Test {
 protected:
  void open(const char* seed, const char* connect) {
    m_dbs.make(seed, connect);
    OraXMLSQLInfo info(DG_Status, 2);  // two messages per check
    info.addSQL(OraXMLSQL(101,
                          "select * from (select facility, severity, dest_id, message_num from "
                          "v$dataguard_status where message_num > :vellastmessagenum order by "
                          "message_num) where ROWNUM <= :maxrownum",
                          nullptr));
    m_catalog.addUnique(info);
    m_db.reset(new Ora_Database(m_catalog, connect, "monitor", "monitor", "", "SB", "SB"));
    Ora_ErrorMsg error;
    ASSERT_TRUE(m_db->Connect(error, false)) << error.getMessage();
    m_instances.init(*m_db);
    m_instances.update(*m_db);
  }
  // Message numbers of the DG_Status events after the first skip of them, once skip + count came
  // (or 3 s passed). Other events, a lost connection's, may come between them.
  std::vector<std::string> dgNumbers(size_t skip, size_t count) {
    std::vector<std::string> numbers;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    for (size_t n = skip + count; numbers.size() < skip + count; ++n) {
      if (std::chrono::steady_clock::now() > until) break;
      numbers.clear();
      for (const auto& e : m_peer.events(n, 300))
        if (e.group == DG_Status && !e.rows.empty()) numbers.push_back(e.rows[0][3]);
    }
    numbers.erase(numbers.begin(), numbers.begin() + std::min(skip, numbers.size()));
    return numbers;
  }
  OraXMLSQLData m_catalog = reqtest::makeCatalog();
  ocitest::SimDatabases m_dbs;
  reqtest::LinkPeer m_peer;
  std::unique_ptr<Ora_Database> m_db;
  VelCachedInstanceList m_instances;
};

TEST_F(Supplementary, CursorBlockBindsOnlyThePlaceholdersItNamesAndFetchesTheCursor) {
  open("single", reqtest::kSingle);
  const char* block =
      "BEGIN OPEN :CURSOR FOR select sql_id, inst_id from gv$sql where executions >= :MINEXEC "
      "and module <> :module_x order by executions; END;";
  struct {
    std::vector<const char*> binds;  // name, value, ...
    bool ok;
    std::vector<std::string> ids;
  } const cases[] = {
      {{"MINEXEC", "9311", "module_x", "x'; drop table t; --", "MIN", "1", "timestamp", "2"},
       true,
       {"a1b2c3d4e5f6g", "5zruc4v6y32f9"}},
      {{"minexec", "60000", "MODULE_X", ""}, true, {}},
      {{"MINEXEC", "1"}, false, {}},  // a placeholder left unbound fails the block
  };
  for (const auto& c : cases) {
    std::vector<RequestInfo> infos(c.binds.size() / 2);
    for (size_t i = 0; i < infos.size(); ++i)
      infos[i] =
          RequestInfo{const_cast<char*>(c.binds[2 * i]), const_cast<char*>(c.binds[2 * i + 1]),
                      const_cast<char*>("EQ"), const_cast<char*>("AND"),
                      i + 1 < infos.size() ? &infos[i + 1] : nullptr};
    Ora_AutoStmtTable table;
    Ora_TopCommand command(block, &table);
    command.addBindInfo(&infos[0]);
    Ora_ErrorMsg error;
    ASSERT_EQ(m_db->executePLSQLCmd(command, error, time(nullptr), 30), c.ok) << c.binds[1];
    std::vector<std::string> ids;
    const char* row[kVelMaxColumns];
    for (unsigned r = 0; r < table.getStoredRowCount(); ++r)
      if (table.getRow(r, row, 2)) ids.push_back(row[0]);
    EXPECT_EQ(ids, c.ids) << c.binds[1];
  }
}

TEST(SQLTextPieces, AreNumberedCutAt512CharactersAndBlankControlCharacters) {
  std::string euros;
  for (int i = 0; i < 600; ++i) euros += "\xE2\x82\xAC";  // one character, three bytes
  const std::pair<std::string, std::vector<size_t>> cases[] = {
      {std::string(1300, 'a'), {512, 512, 276}},
      {std::string(512, 'a'), {512}},
      {std::string(513, 'a'), {512, 1}},
      {euros, {512 * 3, 88 * 3}},
      {"", {}},
      {"\xC3", {1}}};  // a sequence cut short
  for (const auto& c : cases) {
    std::vector<size_t> bytes;
    for (const std::string& p : Vel_SQLTextRequest::cutPieces(c.first.c_str()))
      bytes.push_back(p.size());
    EXPECT_EQ(bytes, c.second) << c.first.size();
  }
  EXPECT_EQ(Vel_SQLTextRequest::cutPieces("a\r\nb\tc")[0], "a  b c");
}

TEST_F(Supplementary, DataGuardMessagesAreSentOnceAndNoneIsLostWhenTheSessionDrops) {
  open("standby", kStandby);
  VelString latest("0");
  EXPECT_TRUE(updateDGStatus("SB", *m_db, 30, latest, 1000, m_instances));
  EXPECT_EQ(dgNumbers(0, 2), (std::vector<std::string>{"1", "2"}));
  // The session is lost during the check: nothing is sent, the mark stays.
  m_dbs.exec(kStandby, "INSERT INTO sim_faults VALUES('drop', 'dataguard', 0, 0)");
  EXPECT_FALSE(updateDGStatus("SB", *m_db, 30, latest, 1000, m_instances));
  EXPECT_STREQ(latest.c_str(), "2");
  m_dbs.exec(kStandby,
             "DELETE FROM sim_faults; INSERT INTO \"gv$dataguard_status\" VALUES(1, 'X', 'I', 0, "
             "6, 0, 'NO', '2026-12-01 08:00:00', 'new', 0)");
  Ora_ErrorMsg error;
  EXPECT_TRUE(m_db->isConnected() || m_db->Connect(error, false)) << error.getMessage();
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(updateDGStatus("SB", *m_db, 30, latest, 1000, m_instances));
  EXPECT_EQ(dgNumbers(2, 4), (std::vector<std::string>{"3", "4", "5", "6"}));
  EXPECT_STREQ(latest.c_str(), "6");
}

TEST(DiskSpace, FiguresAreThoseOfStatvfsOfTheSameFolder) {
  veltest::TempDir dir;
  char f[7][24];
  ASSERT_TRUE(Vel_DiskSpaceRequest::measure(dir.path().c_str(), f));
  struct statvfs fs;
  ASSERT_EQ(statvfs(dir.path().c_str(), &fs), 0);
  long long total = static_cast<long long>(fs.f_blocks) * fs.f_frsize;
  long long used = static_cast<long long>(fs.f_blocks - fs.f_bfree) * fs.f_frsize;
  EXPECT_EQ(atoll(f[2]), total);
  EXPECT_EQ(atoll(f[3]), total / 1024 * 100 / 1024);
  // Free and used space move with other writers: within 64 MiB of the figure read here.
  EXPECT_NEAR(static_cast<double>(atoll(f[5])), static_cast<double>(used), 64.0 * 1048576);
  EXPECT_NEAR(atoi(f[4]), 10000.0 * atoll(f[0]) / total, 1.0);
  EXPECT_FALSE(Vel_DiskSpaceRequest::measure(dir.file("missing/x").c_str(), f));
}

TEST_F(Supplementary, CustomizedRowsHaveTheFixedShapeAndEachOutcomeIsKept) {
  veltest::ScopedEnv limit("VEL_DEFAULT_MAXROWNUM", "1");  // OK's one row is still answered
  open("single", reqtest::kSingle);
  m_dbs.exec(reqtest::kSingle, "INSERT INTO sim_faults VALUES('delay', 'slow_marker', 0, 8000)");
  veltest::TempDir dir;
  ASSERT_TRUE(veltest::writeFile(
      dir.file("c"),
      "[SELECTSQL]\nSQL_ID=OK\nSQL_TEXT=select username, user_id, created, 'a' b, 'c' c, 'd' d, "
      "'e' e, 'f' f from dba_users where user_id = 0\n[SELECTSQL]\nSQL_ID=BAD\nSQL_TEXT=select x "
      "from nowhere\n[SELECTSQL]\nSQL_ID=SLOW\nSQL_TEXT=select 1 slow_marker from dual\n"));
  Vel_CustomizedSQLList list(dir.file("c").c_str());
  ASSERT_TRUE(list.load(0));
  list.getSQLRecord("SLOW")->m_timeout = 5;
  std::vector<velagent::RequestInfoItem> items(3);
  const char* const ids[] = {"BAD", "SLOW", "OK"};
  for (int i = 0; i < 3; ++i) items[i] = {i == 1 ? "sqlid" : "SQLID", ids[i], "EQ", "AND"};
  std::string id;
  Vel_AgentFacRequest wrapper(m_peer.receive(RDB_Customized_SQL_Detail, "SUB", items, &id), 60);
  Vel_CustomSQLDetailRequest detail(wrapper);
  detail.process(*m_db, list, gMutexSend, m_instances);
  velagent::Answer answer = m_peer.answer(id, 15000);
  ASSERT_EQ(answer.rows.size(), 1u);
  const auto& r = answer.rows[0];
  ASSERT_EQ(r.size(), 28u);
  EXPECT_EQ((std::vector<std::string>{r[0], r[1], r[2], r[9], r[10], r[11], r[12], r[13], r[14],
                                      r[21], r[25]}),
            (std::vector<std::string>{"OK", "USERNAME", "SYS", "E", "e", "USER_ID", "0", "",
                                      "-99999999900", "CREATED", "PROD"}));
  EXPECT_EQ((std::vector<int>{list.getSQLRecord("BAD")->m_lastErrorCode,
                              list.getSQLRecord("SLOW")->m_lastErrorCode,
                              list.getSQLRecord("OK")->m_lastErrorCode}),
            (std::vector<int>{942, 1013, 0}));
}

}  // namespace
